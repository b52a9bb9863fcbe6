// VARIANT lifetime and conversions: what VariantClear frees and releases, what VariantCopy
// duplicates, and the conversions dispatch arguments go through. Run under ASan, a missed or
// doubled free shows here.
#include <gtest/gtest.h>

#include <string>

#include "plat/com.h"
#include "plat/oleauto.h"
#include "plat/variant.h"

namespace {

// An IDispatch that only counts its references.
class CountedDispatch final : public IDispatch {
 public:
  ULONG refs() const { return refs_; }

  HRESULT QueryInterface(REFIID, void** ppv) override {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override { return --refs_; }
  HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }

 private:
  ULONG refs_ = 1;
};

std::u16string TextOf(const VARIANT& v) {
  EXPECT_EQ(v.vt, VT_BSTR);
  return v.vt == VT_BSTR ? std::u16string(v.bstrVal, SysStringLen(v.bstrVal)) : u"";
}

VARIANT Bstr(const char16_t* text) {
  VARIANT v;
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocString(text);
  return v;
}

TEST(ComVariantTest, ClearFreesWhatTheVariantOwnsAndNothingElse) {
  VARIANT text = Bstr(u"owned");
  EXPECT_EQ(VariantClear(&text), S_OK);
  EXPECT_EQ(text.vt, VT_EMPTY);
  EXPECT_EQ(VariantClear(&text), S_OK);  // an empty variant clears again harmlessly

  CountedDispatch dispatch;
  VARIANT object;
  object.vt = VT_DISPATCH;
  object.pdispVal = &dispatch;
  dispatch.AddRef();
  EXPECT_EQ(VariantClear(&object), S_OK);
  EXPECT_EQ(dispatch.refs(), 1u);
  EXPECT_EQ(object.vt, VT_EMPTY);

  // References own nothing: the string and the object survive.
  BSTR kept = SysAllocString(u"kept");
  IDispatch* pointer = &dispatch;
  VARIANT by_ref[2];
  by_ref[0].vt = VT_BYREF | VT_BSTR;
  by_ref[0].pbstrVal = &kept;
  by_ref[1].vt = VT_BYREF | VT_DISPATCH;
  by_ref[1].ppdispVal = &pointer;
  for (VARIANT& v : by_ref) EXPECT_EQ(VariantClear(&v), S_OK);
  EXPECT_EQ(std::u16string(kept), u"kept");
  EXPECT_EQ(dispatch.refs(), 1u);
  SysFreeString(kept);

  VARIANT array;
  array.vt = VT_ARRAY | VT_I4;
  EXPECT_EQ(VariantClear(&array), DISP_E_BADVARTYPE);
}

TEST(ComVariantTest, CopyDuplicatesStringsAndAddsReferences) {
  static const char kBytes[] = {'a', '\0', 'b', 'c'};  // byte length 4, an embedded zero
  VARIANT source;
  source.vt = VT_BSTR;
  source.bstrVal = SysAllocStringByteLen(kBytes, sizeof kBytes);
  VARIANT copy;
  VariantInit(&copy);
  ASSERT_EQ(VariantCopy(&copy, &source), S_OK);
  ASSERT_EQ(copy.vt, VT_BSTR);
  EXPECT_NE(copy.bstrVal, source.bstrVal);
  ASSERT_EQ(SysStringByteLen(copy.bstrVal), sizeof kBytes);
  EXPECT_EQ(std::memcmp(copy.bstrVal, kBytes, sizeof kBytes), 0);

  CountedDispatch dispatch;
  VARIANT object;
  object.vt = VT_DISPATCH;
  object.pdispVal = &dispatch;
  ASSERT_EQ(VariantCopy(&copy, &object), S_OK);  // frees the copied string first
  EXPECT_EQ(dispatch.refs(), 2u);
  VariantClear(&copy);
  EXPECT_EQ(dispatch.refs(), 1u);

  // Through a reference, the value is copied.
  VARIANT reference;
  reference.vt = VT_BYREF | VT_BSTR;
  reference.pbstrVal = &source.bstrVal;
  ASSERT_EQ(VariantCopyInd(&copy, &reference), S_OK);
  EXPECT_EQ(copy.vt, VT_BSTR);
  EXPECT_NE(copy.bstrVal, source.bstrVal);
  VariantClear(&copy);
  VariantClear(&source);
}

TEST(ComVariantTest, ChangeTypeConvertsDispatchArguments) {
  struct Case {
    const char* what;
    VARIANT source;
    VARTYPE target;
    HRESULT expected;
    LONGLONG value;       // for an integer or VT_BOOL target
    std::u16string text;  // for a VT_BSTR target
  };
  auto i4 = [](LONG n) {
    VARIANT v;
    v.vt = VT_I4;
    v.lVal = n;
    return v;
  };
  auto ui4 = [](ULONG n) {
    VARIANT v;
    v.vt = VT_UI4;
    v.ulVal = n;
    return v;
  };
  VARIANT empty;
  VariantInit(&empty);
  VARIANT truth;
  truth.vt = VT_BOOL;
  truth.boolVal = VARIANT_TRUE;
  CountedDispatch dispatch;
  VARIANT object;
  object.vt = VT_DISPATCH;
  object.pdispVal = &dispatch;

  const Case cases[] = {
      {"I4 to text", i4(-1234), VT_BSTR, S_OK, 0, u"-1234"},
      {"text to I4", Bstr(u" 77 "), VT_I4, S_OK, 77, u""},
      {"text to I2", Bstr(u"-32768"), VT_I2, S_OK, -32768, u""},
      {"text to UI4, beyond I4", Bstr(u"4294967295"), VT_UI4, S_OK, 4294967295LL, u""},
      {"text not a number", Bstr(u"12a"), VT_I4, DISP_E_TYPEMISMATCH, 0, u""},
      {"empty text", Bstr(u""), VT_I4, DISP_E_TYPEMISMATCH, 0, u""},
      {"text too large for I4", Bstr(u"2147483648"), VT_I4, DISP_E_OVERFLOW, 0, u""},
      {"text beyond 64 bits", Bstr(u"99999999999999999999"), VT_BOOL, DISP_E_OVERFLOW, 0, u""},
      {"UI4 too large for I4", ui4(0x80000000u), VT_I4, DISP_E_OVERFLOW, 0, u""},
      {"negative I4 to UI4", i4(-1), VT_UI4, DISP_E_OVERFLOW, 0, u""},
      {"I4 to I2 in range", i4(-5), VT_I2, S_OK, -5, u""},
      {"I4 to BOOL", i4(3), VT_BOOL, S_OK, VARIANT_TRUE, u""},
      {"BOOL to I4", truth, VT_I4, S_OK, -1, u""},
      {"EMPTY to I4", empty, VT_I4, S_OK, 0, u""},
      {"dispatch to I4", object, VT_I4, DISP_E_TYPEMISMATCH, 0, u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    VARIANT result;
    VariantInit(&result);
    const HRESULT hr = VariantChangeType(&result, &c.source, 0, c.target);
    EXPECT_EQ(hr, c.expected);
    if (SUCCEEDED(hr)) {
      ASSERT_EQ(result.vt, c.target);
      switch (c.target) {
        case VT_BSTR:
          EXPECT_EQ(TextOf(result), c.text);
          break;
        case VT_I2:
          EXPECT_EQ(result.iVal, c.value);
          break;
        case VT_I4:
          EXPECT_EQ(result.lVal, c.value);
          break;
        case VT_UI4:
          EXPECT_EQ(result.ulVal, c.value);
          break;
        case VT_BOOL:
          EXPECT_EQ(result.boolVal, c.value);
          break;
        default:
          ADD_FAILURE() << "unchecked target";
      }
    } else {
      EXPECT_EQ(result.vt, VT_EMPTY);
    }
    VariantClear(&result);
    VARIANT source = c.source;
    if (source.vt == VT_BSTR) VariantClear(&source);
  }
  EXPECT_EQ(dispatch.refs(), 1u);
}

TEST(ComVariantTest, ChangeTypeInPlaceAndThroughReferences) {
  // In place: the string is replaced by the number and freed (ASan reports a leak otherwise).
  VARIANT v = Bstr(u"15");
  ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_I4), S_OK);
  EXPECT_EQ(v.vt, VT_I4);
  EXPECT_EQ(v.lVal, 15);
  ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_BSTR), S_OK);
  EXPECT_EQ(TextOf(v), u"15");
  // A failed conversion leaves the destination as it was.
  VARIANT text = Bstr(u"x");
  EXPECT_EQ(VariantChangeType(&v, &text, 0, VT_I4), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(TextOf(v), u"15");
  VariantClear(&text);
  VariantClear(&v);

  LONG number = 250;
  VARIANT reference;
  reference.vt = VT_BYREF | VT_I4;
  reference.plVal = &number;
  VARIANT result;
  VariantInit(&result);
  ASSERT_EQ(VariantChangeType(&result, &reference, 0, VT_UI1), S_OK);
  EXPECT_EQ(result.vt, VT_UI1);
  EXPECT_EQ(result.bVal, 250);
  number = 256;
  EXPECT_EQ(VariantChangeType(&result, &reference, 0, VT_UI1), DISP_E_OVERFLOW);
  EXPECT_EQ(VariantChangeType(&result, &reference, 0, VT_BYREF | VT_I4), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(result.bVal, 250);

  VARIANT truth;
  truth.vt = VT_BOOL;
  truth.boolVal = VARIANT_FALSE;
  ASSERT_EQ(VariantChangeType(&result, &truth, VARIANT_ALPHABOOL, VT_BSTR), S_OK);
  EXPECT_EQ(TextOf(result), u"False");
  ASSERT_EQ(VariantChangeType(&result, &result, VARIANT_ALPHABOOL, VT_BOOL), S_OK);
  EXPECT_EQ(result.boolVal, VARIANT_FALSE);
  VariantClear(&result);
}

}  // namespace
