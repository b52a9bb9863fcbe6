// GUID text: the braced form both ways, the public interface identifiers, and rejected text.
#include <gtest/gtest.h>

#include <string>

#include "plat/com.h"

namespace {

std::u16string Text(REFGUID guid) {
  OLECHAR buffer[39];
  EXPECT_EQ(StringFromGUID2(guid, buffer, 39), 39);
  return buffer;
}

TEST(ComGuidTest, TextRoundTripsAndNamesThePublicInterfaces) {
  const GUID guid = {0x01234567, 0x89AB, 0xCDEF, {0xFE, 0xDC, 0xBA, 0x98, 0x76, 0x54, 0x32, 0x10}};
  EXPECT_EQ(Text(guid), u"{01234567-89AB-CDEF-FEDC-BA9876543210}");

  CLSID parsed = GUID_NULL;
  ASSERT_EQ(CLSIDFromString(u"{01234567-89ab-cdef-fedc-ba9876543210}", &parsed), NOERROR);
  EXPECT_EQ(parsed, guid);
  IID iid = GUID_NULL;
  ASSERT_EQ(IIDFromString(Text(guid).c_str(), &iid), S_OK);
  EXPECT_EQ(iid, guid);

  LPOLESTR allocated = nullptr;
  ASSERT_EQ(StringFromCLSID(guid, &allocated), S_OK);
  EXPECT_EQ(std::u16string(allocated), Text(guid));
  CoTaskMemFree(allocated);

  EXPECT_EQ(Text(IID_IUnknown), u"{00000000-0000-0000-C000-000000000046}");
  EXPECT_EQ(Text(IID_IClassFactory), u"{00000001-0000-0000-C000-000000000046}");
  EXPECT_EQ(Text(IID_IDispatch), u"{00020400-0000-0000-C000-000000000046}");
  EXPECT_EQ(Text(IID_IConnectionPointContainer), u"{B196B284-BAB4-101A-B69C-00AA00341D07}");
  EXPECT_EQ(Text(IID_IConnectionPoint), u"{B196B286-BAB4-101A-B69C-00AA00341D07}");
  EXPECT_EQ(Text(IID_NULL), u"{00000000-0000-0000-0000-000000000000}");

  OLECHAR short_buffer[38];
  EXPECT_EQ(StringFromGUID2(guid, short_buffer, 38), 0);
}

TEST(ComGuidTest, RejectsTextThatIsNotABracedGuid) {
  const char16_t* const bad[] = {
      u"",
      u"01234567-89AB-CDEF-FEDC-BA9876543210",              // no braces
      u"{01234567-89AB-CDEF-FEDC-BA9876543210",             // no closing brace
      u"{01234567-89AB-CDEF-FEDC-BA98765432100}",           // one digit too many
      u"{01234567-89AB-CDEF-FEDCBA-9876543210}",            // dash misplaced
      u"{0123456G-89AB-CDEF-FEDC-BA9876543210}",            // not hexadecimal
      u"{01234567-89AB-CDEF-FEDC-BA9876543210} ",           // trailing blank
      u"{01234567-89AB-CDEF-FEDC-BA98765432\u0661\u0660}",  // non-ASCII digits
  };
  for (const char16_t* text : bad) {
    SCOPED_TRACE(std::string(text, text + std::char_traits<char16_t>::length(text)));
    CLSID clsid = IID_IDispatch;
    EXPECT_EQ(CLSIDFromString(text, &clsid), CO_E_CLASSSTRING);
    EXPECT_EQ(clsid, GUID_NULL);
    IID iid = IID_IDispatch;
    EXPECT_EQ(IIDFromString(text, &iid), E_INVALIDARG);
  }
  CLSID clsid;
  EXPECT_EQ(CLSIDFromString(nullptr, &clsid), CO_E_CLASSSTRING);
}

}  // namespace
