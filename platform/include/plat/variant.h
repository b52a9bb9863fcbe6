// VARIANT and the dispatch argument blocks (DISPPARAMS, EXCEPINFO), for the types dispatch needs:
// integers, booleans, BSTRs, interface pointers and references to them. A VARIANT owns what it
// holds unless VT_BYREF is set; VariantClear frees it. No shared state: a VARIANT belongs to
// one thread at a time.
#pragma once

#include "plat/types.h"

struct IUnknown;
struct IDispatch;

using VARTYPE = USHORT;
using VARIANT_BOOL = SHORT;
inline constexpr VARIANT_BOOL VARIANT_TRUE = -1;
inline constexpr VARIANT_BOOL VARIANT_FALSE = 0;

// Variant types (the values Windows uses).
enum VARENUM : VARTYPE {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_CY = 6,
  VT_DATE = 7,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_VARIANT = 12,
  VT_UNKNOWN = 13,
  VT_DECIMAL = 14,
  VT_I1 = 16,
  VT_UI1 = 17,
  VT_UI2 = 18,
  VT_UI4 = 19,
  VT_I8 = 20,
  VT_UI8 = 21,
  VT_INT = 22,
  VT_UINT = 23,
  VT_VOID = 24,
  VT_HRESULT = 25,
  VT_ARRAY = 0x2000,
  VT_BYREF = 0x4000,
  VT_TYPEMASK = 0x0FFF,
};

// The header and the value union as on Windows (the DECIMAL overlay is left out).
struct VARIANT {
  VARTYPE vt;
  WORD wReserved1;
  WORD wReserved2;
  WORD wReserved3;
  union {
    LONGLONG llVal;
    LONG lVal;
    BYTE bVal;
    SHORT iVal;
    float fltVal;
    double dblVal;
    VARIANT_BOOL boolVal;
    SCODE scode;
    BSTR bstrVal;
    IUnknown* punkVal;
    IDispatch* pdispVal;
    BYTE* pbVal;
    SHORT* piVal;
    LONG* plVal;
    LONGLONG* pllVal;
    float* pfltVal;
    double* pdblVal;
    VARIANT_BOOL* pboolVal;
    SCODE* pscode;
    BSTR* pbstrVal;
    IUnknown** ppunkVal;
    IDispatch** ppdispVal;
    VARIANT* pvarVal;
    PVOID byref;
    CHAR cVal;
    USHORT uiVal;
    ULONG ulVal;
    ULONGLONG ullVal;
    INT intVal;
    UINT uintVal;
    CHAR* pcVal;
    USHORT* puiVal;
    ULONG* pulVal;
    ULONGLONG* pullVal;
    INT* pintVal;
    UINT* puintVal;
  };
};
using VARIANTARG = VARIANT;
using LPVARIANT = VARIANT*;
using LPVARIANTARG = VARIANT*;

using DISPID = LONG;
using MEMBERID = DISPID;
using LCID = DWORD;

// Arguments of IDispatch::Invoke: rgvarg holds the arguments in reverse order (the last one
// first); named arguments come first and are named by rgdispidNamedArgs.
struct DISPPARAMS {
  VARIANTARG* rgvarg;
  DISPID* rgdispidNamedArgs;
  UINT cArgs;
  UINT cNamedArgs;
};

// Filled by IDispatch::Invoke when it returns DISP_E_EXCEPTION; the BSTRs belong to the caller.
struct EXCEPINFO {
  WORD wCode;
  WORD wReserved;
  BSTR bstrSource;
  BSTR bstrDescription;
  BSTR bstrHelpFile;
  DWORD dwHelpContext;
  PVOID pvReserved;
  HRESULT (*pfnDeferredFillIn)(EXCEPINFO*);
  SCODE scode;
};
using LPEXCEPINFO = EXCEPINFO*;

// VariantChangeType flags.
inline constexpr USHORT VARIANT_NOVALUEPROP = 0x01;
inline constexpr USHORT VARIANT_ALPHABOOL = 0x02;

extern "C" {
// Sets vt to VT_EMPTY; nothing is freed.
WINPLAT_API void VariantInit(VARIANTARG* pvarg);
// Frees what the variant owns (SysFreeString for VT_BSTR, Release for VT_DISPATCH and
// VT_UNKNOWN; nothing for VT_BYREF) and sets vt to VT_EMPTY. DISP_E_BADVARTYPE for a type this
// platform does not know (the variant is left as it is).
WINPLAT_API HRESULT VariantClear(VARIANTARG* pvarg);
// Clears pvargDest, then copies pvargSrc into it: a BSTR is duplicated, an interface AddRef'ed;
// a VT_BYREF variant is copied as the reference.
WINPLAT_API HRESULT VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc);
// As VariantCopy, but a VT_BYREF source is copied as the value it refers to.
WINPLAT_API HRESULT VariantCopyInd(VARIANT* pvarDest, const VARIANTARG* pvargSrc);
// Converts between the integer types, VT_BOOL, VT_EMPTY (as 0) and VT_BSTR (decimal text; "True"
// and "False" for VT_BOOL under VARIANT_ALPHABOOL); a type converted to itself is copied. A
// VT_BYREF source is read through. pvargDest may equal pvarSrc. DISP_E_TYPEMISMATCH for text
// that is not a number or any other conversion, DISP_E_OVERFLOW for a value out of the target's
// range; the destination is unchanged then.
WINPLAT_API HRESULT VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc,
                                      USHORT wFlags, VARTYPE vt);
}
