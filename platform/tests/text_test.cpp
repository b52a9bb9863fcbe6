// Text conversion: every Windows-1252 byte to UTF-16 and back, characters without a byte,
// the -1 and size-query conventions, and UTF-8.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "plat/text.h"

namespace {

// The UTF-16 character of each byte 0x80-0x9F.
constexpr char16_t kHighRow[32] = {
    u'\u20AC', u'\u0081', u'\u201A', u'\u0192', u'\u201E', u'\u2026', u'\u2020', u'\u2021',
    u'\u02C6', u'\u2030', u'\u0160', u'\u2039', u'\u0152', u'\u008D', u'\u017D', u'\u008F',
    u'\u0090', u'\u2018', u'\u2019', u'\u201C', u'\u201D', u'\u2022', u'\u2013', u'\u2014',
    u'\u02DC', u'\u2122', u'\u0161', u'\u203A', u'\u0153', u'\u009D', u'\u017E', u'\u0178',
};

std::u16string ToWide(UINT code_page, const std::string& bytes) {
  const int n = MultiByteToWideChar(code_page, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::u16string wide(static_cast<std::size_t>(n), u'\0');
  EXPECT_EQ(MultiByteToWideChar(code_page, 0, bytes.data(), static_cast<int>(bytes.size()), wide.data(), n), n);
  return wide;
}

std::string ToNarrow(UINT code_page, const std::u16string& wide, BOOL* used_default = nullptr) {
  const int n = WideCharToMultiByte(code_page, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr,
                                    used_default);
  std::string bytes(static_cast<std::size_t>(n), '\0');
  EXPECT_EQ(WideCharToMultiByte(code_page, 0, wide.data(), static_cast<int>(wide.size()), bytes.data(), n,
                                nullptr, used_default),
            n);
  return bytes;
}

TEST(TextTest, EveryWindows1252ByteConvertsToItsCharacterAndBack) {
  std::string all;
  for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
  for (const UINT code_page : {CP_ACP, CP_1252}) {
    const std::u16string wide = ToWide(code_page, all);
    ASSERT_EQ(wide.size(), all.size());
    for (int b = 1; b < 256; ++b) {
      const char16_t expected = b >= 0x80 && b <= 0x9F ? kHighRow[b - 0x80] : static_cast<char16_t>(b);
      EXPECT_EQ(wide[static_cast<std::size_t>(b - 1)], expected) << "byte 0x" << std::hex << b;
    }
    BOOL used_default = TRUE;
    EXPECT_EQ(ToNarrow(code_page, wide, &used_default), all);
    EXPECT_FALSE(used_default);
  }
}

TEST(TextTest, CharactersWithoutAByteBecomeQuestionMarks) {
  // U+0080 and U+009E are C1 controls that Windows-1252 has no byte for; U+0100 and U+4E2D are
  // outside it; a surrogate pair is one character and gives one '?'.
  const std::u16string wide = u"a\u0080b\u009E\u0100\u4E2D\U0001F600z";
  BOOL used_default = FALSE;
  EXPECT_EQ(ToNarrow(CP_ACP, wide, &used_default), "a?b????z");
  EXPECT_TRUE(used_default);

  char out[8] = {};
  const char star = '*';
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"x\u4E2D", -1, out, sizeof(out), &star, nullptr), 3);
  EXPECT_STREQ(out, "x*");
}

TEST(TextTest, MinusOneCountsTheTerminatorAndSizeQueryWritesNothing) {
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, nullptr, 0), 4);
  WCHAR wide[4] = {u'#', u'#', u'#', u'#'};
  ASSERT_EQ(MultiByteToWideChar(CP_ACP, 0, "\x80" "bc", -1, wide, 4), 4);
  EXPECT_EQ(std::u16string(wide), u"\u20ACbc");

  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", 2, wide, 4), 2);  // no terminator added
  EXPECT_EQ(wide[2], u'c');

  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"\u20ACz", -1, nullptr, 0, nullptr, nullptr), 3);
  char narrow[3] = {};
  ASSERT_EQ(WideCharToMultiByte(CP_ACP, 0, u"\u20ACz", -1, narrow, 3, nullptr, nullptr), 3);
  EXPECT_STREQ(narrow, "\x80z");
}

TEST(TextTest, ShortBuffersAndBadArgumentsFail) {
  WCHAR wide[2];
  char narrow[2];
  struct Case {
    const char* what;
    std::function<int()> call;
    LONG error;
  };
  const Case cases[] = {
      {"wide buffer too short", [&] { return MultiByteToWideChar(CP_ACP, 0, "abc", -1, wide, 2); },
       ERROR_INSUFFICIENT_BUFFER},
      {"narrow buffer too short",
       [&] { return WideCharToMultiByte(CP_ACP, 0, u"abc", -1, narrow, 2, nullptr, nullptr); },
       ERROR_INSUFFICIENT_BUFFER},
      {"zero input length", [&] { return MultiByteToWideChar(CP_ACP, 0, "abc", 0, wide, 2); },
       ERROR_INVALID_PARAMETER},
      {"null input", [&] { return WideCharToMultiByte(CP_ACP, 0, nullptr, -1, narrow, 2, nullptr, nullptr); },
       ERROR_INVALID_PARAMETER},
      {"unknown code page", [&] { return MultiByteToWideChar(437, 0, "abc", -1, wide, 2); },
       ERROR_INVALID_PARAMETER},
      {"default character with UTF-8",
       [&] { return WideCharToMultiByte(CP_UTF8, 0, u"a", -1, narrow, 2, "?", nullptr); },
       ERROR_INVALID_PARAMETER},
  };
  for (const Case& c : cases) {
    SetLastError(0);
    EXPECT_EQ(c.call(), 0) << c.what;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(c.error)) << c.what;
  }
}

TEST(TextTest, Utf8RoundTripsAndMarksMalformedBytes) {
  const std::string utf8 = "e\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";
  const std::u16string wide = ToWide(CP_UTF8, utf8);
  EXPECT_EQ(wide, u"e\u00E9\u20AC\U0001F600");
  EXPECT_EQ(ToNarrow(CP_UTF8, wide), utf8);
  EXPECT_EQ(ToWide(CP_UTF8, "a\xFF" "b\xC3"), u"a\uFFFDb\uFFFD");
}

}  // namespace
