// VARIANT lifetime (init, clear, copy) and the few type conversions dispatch needs.
#include <charconv>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <type_traits>

#include "plat/com.h"
#include "plat/oleauto.h"
#include "plat/variant.h"

// The tables below keep one line per type.
// clang-format off
namespace {

bool IsKnownType(VARTYPE vt) {
  switch (vt & VT_TYPEMASK) {
    case VT_EMPTY: case VT_NULL: case VT_I2: case VT_I4: case VT_R4: case VT_R8: case VT_BSTR:
    case VT_DISPATCH: case VT_ERROR: case VT_BOOL: case VT_VARIANT: case VT_UNKNOWN: case VT_I1:
    case VT_UI1: case VT_UI2: case VT_UI4: case VT_I8: case VT_UI8: case VT_INT: case VT_UINT:
    case VT_HRESULT:
      return (vt & VT_ARRAY) == 0;  // there are no SAFEARRAYs here
    default:
      return false;
  }
}

// Copies a BSTR exactly, embedded zeros included; a null BSTR stays null.
HRESULT CopyBstr(BSTR source, BSTR* copy) {
  *copy = nullptr;
  if (source == nullptr) return S_OK;
  *copy = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(source), SysStringByteLen(source));
  return *copy != nullptr ? S_OK : E_OUTOFMEMORY;
}

// A shallow copy made deep: duplicates the BSTR or adds a reference for an interface.
HRESULT DeepenCopy(VARIANT* v) {
  switch (v->vt) {
    case VT_BSTR:
      return CopyBstr(v->bstrVal, &v->bstrVal);
    case VT_DISPATCH:
      if (v->pdispVal != nullptr) v->pdispVal->AddRef();
      return S_OK;
    case VT_UNKNOWN:
      if (v->punkVal != nullptr) v->punkVal->AddRef();
      return S_OK;
    default:
      return S_OK;
  }
}

// The value a VT_BYREF variant refers to, as a by-value variant sharing what it points at
// (no reference taken, no string copied). Fails for an unknown type or a null reference.
HRESULT Dereference(const VARIANT& source, VARIANT* value) {
  *value = VARIANT{};
  const auto vt = static_cast<VARTYPE>(source.vt & ~VT_BYREF);
  if (source.byref == nullptr) return E_INVALIDARG;
  if (vt == VT_VARIANT) {
    const VARIANT& inner = *source.pvarVal;
    if (inner.vt & VT_BYREF) return E_INVALIDARG;  // a reference to a reference
    *value = inner;
    return S_OK;
  }
  value->vt = vt;
  switch (vt) {
    case VT_I2: value->iVal = *source.piVal; break;
    case VT_I4: value->lVal = *source.plVal; break;
    case VT_R4: value->fltVal = *source.pfltVal; break;
    case VT_R8: value->dblVal = *source.pdblVal; break;
    case VT_BSTR: value->bstrVal = *source.pbstrVal; break;
    case VT_DISPATCH: value->pdispVal = *source.ppdispVal; break;
    case VT_ERROR:
    case VT_HRESULT: value->scode = *source.pscode; break;
    case VT_BOOL: value->boolVal = *source.pboolVal; break;
    case VT_UNKNOWN: value->punkVal = *source.ppunkVal; break;
    case VT_I1: value->cVal = *source.pcVal; break;
    case VT_UI1: value->bVal = *source.pbVal; break;
    case VT_UI2: value->uiVal = *source.puiVal; break;
    case VT_UI4: value->ulVal = *source.pulVal; break;
    case VT_I8: value->llVal = *source.pllVal; break;
    case VT_UI8: value->ullVal = *source.pullVal; break;
    case VT_INT: value->intVal = *source.pintVal; break;
    case VT_UINT: value->uintVal = *source.puintVal; break;
    default:
      return DISP_E_BADVARTYPE;
  }
  return S_OK;
}

// Integer types are converted through a 64-bit signed or unsigned value.
struct Integer {
  bool is_unsigned = false;
  std::int64_t s = 0;
  std::uint64_t u = 0;
};

std::optional<Integer> ReadInteger(const VARIANT& v) {
  Integer n;
  switch (v.vt) {
    case VT_EMPTY: n.s = 0; break;
    case VT_I1: n.s = v.cVal; break;
    case VT_I2: n.s = v.iVal; break;
    case VT_I4: n.s = v.lVal; break;
    case VT_I8: n.s = v.llVal; break;
    case VT_INT: n.s = v.intVal; break;
    case VT_BOOL: n.s = v.boolVal; break;
    case VT_UI1: n.s = v.bVal; break;
    case VT_UI2: n.s = v.uiVal; break;
    case VT_UI4: n.s = v.ulVal; break;
    case VT_UINT: n.s = v.uintVal; break;
    case VT_UI8:
      n.is_unsigned = true;
      n.u = v.ullVal;
      break;
    default:
      return std::nullopt;
  }
  return n;
}

template <typename T>
bool Fits(const Integer& n) {
  if (n.is_unsigned) return n.u <= static_cast<std::uint64_t>(std::numeric_limits<T>::max());
  if (n.s < 0)
    return std::is_signed_v<T> && n.s >= static_cast<std::int64_t>(std::numeric_limits<T>::min());
  return static_cast<std::uint64_t>(n.s) <=
         static_cast<std::uint64_t>(std::numeric_limits<T>::max());
}

template <typename T>
T Value(const Integer& n) {
  return n.is_unsigned ? static_cast<T>(n.u) : static_cast<T>(n.s);
}

// Stores n into `member` of `out` and sets its type, unless n is out of the member's range.
template <typename T>
HRESULT Store(const Integer& n, VARTYPE vt, T* member, VARIANT* out) {
  if (!Fits<T>(n)) return DISP_E_OVERFLOW;
  *member = Value<T>(n);
  out->vt = vt;
  return S_OK;
}

HRESULT StoreInteger(const Integer& n, VARTYPE vt, VARIANT* out) {
  switch (vt) {
    case VT_I1: return Store(n, vt, &out->cVal, out);
    case VT_I2: return Store(n, vt, &out->iVal, out);
    case VT_I4: return Store(n, vt, &out->lVal, out);
    case VT_I8: return Store(n, vt, &out->llVal, out);
    case VT_INT: return Store(n, vt, &out->intVal, out);
    case VT_UI1: return Store(n, vt, &out->bVal, out);
    case VT_UI2: return Store(n, vt, &out->uiVal, out);
    case VT_UI4: return Store(n, vt, &out->ulVal, out);
    case VT_UI8: return Store(n, vt, &out->ullVal, out);
    case VT_UINT: return Store(n, vt, &out->uintVal, out);
    case VT_BOOL:
      out->boolVal = (n.is_unsigned ? n.u != 0 : n.s != 0) ? VARIANT_TRUE : VARIANT_FALSE;
      out->vt = VT_BOOL;
      return S_OK;
    default:
      return DISP_E_TYPEMISMATCH;
  }
}

std::string Narrow(BSTR text) {
  std::string out;
  for (UINT i = 0, n = SysStringLen(text); i < n; ++i) {
    const OLECHAR c = text[i];
    out.push_back(c < 0x80 ? static_cast<char>(c) : '\x7f');  // a non-ASCII character is no digit
  }
  return out;
}

// Decimal text, with optional surrounding blanks and sign; "True"/"False" under
// VARIANT_ALPHABOOL. DISP_E_TYPEMISMATCH for other text, DISP_E_OVERFLOW beyond 64 bits.
HRESULT ParseInteger(BSTR text, USHORT flags, Integer* n) {
  std::string s = Narrow(text);
  const auto first = s.find_first_not_of(" \t");
  if (first == std::string::npos) return DISP_E_TYPEMISMATCH;
  s = s.substr(first, s.find_last_not_of(" \t") - first + 1);
  *n = Integer{};
  if (flags & VARIANT_ALPHABOOL) {
    if (s == "True" || s == "true" || s == "TRUE") {
      n->s = -1;
      return S_OK;
    }
    if (s == "False" || s == "false" || s == "FALSE") return S_OK;
  }
  const bool negative = s[0] == '-';
  const std::size_t digits = (negative || s[0] == '+') ? 1 : 0;
  const char* begin = s.data() + digits;
  const char* end = s.data() + s.size();
  std::uint64_t magnitude = 0;
  const auto result = std::from_chars(begin, end, magnitude);
  if (begin == end || result.ptr != end) return DISP_E_TYPEMISMATCH;
  if (result.ec == std::errc::result_out_of_range) return DISP_E_OVERFLOW;
  if (result.ec != std::errc()) return DISP_E_TYPEMISMATCH;
  constexpr auto kMaxSigned = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
  if (negative) {
    if (magnitude > kMaxSigned + 1) return DISP_E_OVERFLOW;
    n->s = magnitude == kMaxSigned + 1 ? std::numeric_limits<std::int64_t>::min()
                                       : -static_cast<std::int64_t>(magnitude);
  } else if (magnitude > kMaxSigned) {
    n->is_unsigned = true;
    n->u = magnitude;
  } else {
    n->s = static_cast<std::int64_t>(magnitude);
  }
  return S_OK;
}

HRESULT IntegerToText(const Integer& n, VARTYPE source_vt, USHORT flags, BSTR* text) {
  std::string s;
  if (source_vt == VT_BOOL && (flags & VARIANT_ALPHABOOL)) {
    s = n.s != 0 ? "True" : "False";
  } else {
    s = n.is_unsigned ? std::to_string(n.u) : std::to_string(n.s);
  }
  std::u16string wide(s.begin(), s.end());
  *text = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
  return *text != nullptr ? S_OK : E_OUTOFMEMORY;
}

// Converts a by-value source into a fresh variant `out` (which owns what it holds).
HRESULT Convert(const VARIANT& source, USHORT flags, VARTYPE vt, VARIANT* out) {
  *out = VARIANT{};
  if (source.vt == vt) {
    *out = source;
    return DeepenCopy(out);
  }
  if (vt == VT_EMPTY) return S_OK;
  if (source.vt == VT_BSTR) {
    Integer n;
    const HRESULT hr = ParseInteger(source.bstrVal, flags, &n);
    if (FAILED(hr)) return hr;
    return StoreInteger(n, vt, out);
  }
  const auto n = ReadInteger(source);
  if (!n) return DISP_E_TYPEMISMATCH;
  if (vt == VT_BSTR) {
    out->vt = VT_BSTR;
    return IntegerToText(*n, source.vt, flags, &out->bstrVal);
  }
  return StoreInteger(*n, vt, out);
}

}  // namespace
// clang-format on

extern "C" {

void VariantInit(VARIANTARG* pvarg) {
  if (pvarg != nullptr) pvarg->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANTARG* pvarg) {
  if (pvarg == nullptr) return E_INVALIDARG;
  if (!IsKnownType(pvarg->vt & ~VT_BYREF)) return DISP_E_BADVARTYPE;
  switch (pvarg->vt) {
    case VT_BSTR:
      SysFreeString(pvarg->bstrVal);
      break;
    case VT_DISPATCH:
      if (pvarg->pdispVal != nullptr) pvarg->pdispVal->Release();
      break;
    case VT_UNKNOWN:
      if (pvarg->punkVal != nullptr) pvarg->punkVal->Release();
      break;
    default:
      break;  // plain values and references own nothing
  }
  pvarg->vt = VT_EMPTY;
  pvarg->llVal = 0;
  return S_OK;
}

HRESULT VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc) {
  if (pvargDest == nullptr || pvargSrc == nullptr) return E_INVALIDARG;
  if (pvargDest == pvargSrc) return S_OK;
  if (!IsKnownType(pvargSrc->vt & ~VT_BYREF)) return DISP_E_BADVARTYPE;
  const HRESULT hr = VariantClear(pvargDest);
  if (FAILED(hr)) return hr;
  VARIANT copy = *pvargSrc;
  if ((copy.vt & VT_BYREF) == 0) {
    const HRESULT copied = DeepenCopy(&copy);
    if (FAILED(copied)) return copied;
  }
  *pvargDest = copy;
  return S_OK;
}

HRESULT VariantCopyInd(VARIANT* pvarDest, const VARIANTARG* pvargSrc) {
  if (pvarDest == nullptr || pvargSrc == nullptr) return E_INVALIDARG;
  if ((pvargSrc->vt & VT_BYREF) == 0) return VariantCopy(pvarDest, pvargSrc);
  VARIANT value;
  HRESULT hr = Dereference(*pvargSrc, &value);
  if (FAILED(hr)) return hr;
  hr = DeepenCopy(&value);
  if (FAILED(hr)) return hr;
  if (pvarDest != pvargSrc) VariantClear(pvarDest);  // a by-reference source owns nothing
  *pvarDest = value;
  return S_OK;
}

HRESULT VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, USHORT wFlags,
                          VARTYPE vt) {
  if (pvargDest == nullptr || pvarSrc == nullptr) return E_INVALIDARG;
  if (!IsKnownType(pvarSrc->vt & ~VT_BYREF) || !IsKnownType(vt)) return DISP_E_BADVARTYPE;
  if (vt & VT_BYREF) return DISP_E_TYPEMISMATCH;  // a conversion yields a value
  VARIANT source = *pvarSrc;
  if (source.vt & VT_BYREF) {
    const HRESULT hr = Dereference(*pvarSrc, &source);
    if (FAILED(hr)) return hr;
  }
  VARIANT result;
  const HRESULT hr = Convert(source, wFlags, vt, &result);
  if (FAILED(hr)) {
    VariantClear(&result);
    return hr;
  }
  // Clearing the destination may free the source when both are the same variant; the result
  // holds its own copy by now.
  VariantClear(pvargDest);
  *pvargDest = result;
  return S_OK;
}

}  // extern "C"
