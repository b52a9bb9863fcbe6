// BSTRs: the byte-count prefix, the lengths and the terminating zeros of each allocator.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "plat/oleauto.h"

namespace {

DWORD PrefixOf(BSTR bstr) {
  DWORD prefix = 0;
  std::memcpy(&prefix, reinterpret_cast<const char*>(bstr) - sizeof(DWORD), sizeof(prefix));
  return prefix;
}

const unsigned char* BytesOf(BSTR bstr) { return reinterpret_cast<const unsigned char*>(bstr); }

struct BstrDeleter {
  void operator()(OLECHAR* bstr) const { SysFreeString(bstr); }
};
using UniqueBstr = std::unique_ptr<OLECHAR, BstrDeleter>;

TEST(BstrTest, EachAllocatorSetsPrefixLengthsAndTerminators) {
  struct Case {
    const char* what;
    BSTR bstr;
    UINT bytes;
    std::string content;  // the bytes before the terminator
  };
  const Case cases[] = {
      {"SysAllocString", SysAllocString(u"h\u00E9"), 4, std::string("h\0\xE9\0", 4)},
      {"SysAllocString empty", SysAllocString(u""), 0, ""},
      {"SysAllocStringLen part", SysAllocStringLen(u"hello", 3), 6, std::string("h\0e\0l\0", 6)},
      {"SysAllocStringLen null source", SysAllocStringLen(nullptr, 2), 4, std::string(4, '\0')},
      {"SysAllocStringByteLen odd", SysAllocStringByteLen("abc", 3), 3, "abc"},
      {"SysAllocStringByteLen embedded zero", SysAllocStringByteLen("a\0b", 3), 3, std::string("a\0b", 3)},
      {"SysAllocStringByteLen even", SysAllocStringByteLen("abcd", 4), 4, "abcd"},
      {"SysAllocStringByteLen null source", SysAllocStringByteLen(nullptr, 5), 5, std::string(5, '\0')},
      {"SysAllocStringByteLen empty", SysAllocStringByteLen("", 0), 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    UniqueBstr owner(c.bstr);
    ASSERT_NE(c.bstr, nullptr);
    EXPECT_EQ(PrefixOf(c.bstr), c.bytes);
    EXPECT_EQ(SysStringByteLen(c.bstr), c.bytes);
    EXPECT_EQ(SysStringLen(c.bstr), c.bytes / 2);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(c.bstr), c.bytes), c.content);
    // The narrow text ends at the byte count, the wide text at the character after the last
    // whole or half character.
    EXPECT_EQ(BytesOf(c.bstr)[c.bytes], 0);
    EXPECT_EQ(c.bstr[(c.bytes + 1) / 2], 0);
  }
}

TEST(BstrTest, NullsAndReallocation) {
  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  EXPECT_EQ(SysStringByteLen(nullptr), 0u);
  SysFreeString(nullptr);

  BSTR bstr = SysAllocString(u"abcdef");
  ASSERT_NE(bstr, nullptr);
  ASSERT_TRUE(SysReAllocString(&bstr, bstr + 3));  // the source lies inside the old string
  EXPECT_EQ(std::u16string(bstr), u"def");
  EXPECT_EQ(SysStringLen(bstr), 3u);
  ASSERT_TRUE(SysReAllocString(&bstr, u"longer text"));
  EXPECT_EQ(std::u16string(bstr), u"longer text");
  EXPECT_EQ(SysStringByteLen(bstr), 22u);
  SysFreeString(bstr);
}

}  // namespace
