#include "CvnDispatch.h"

#include "plat/oleauto.h"

namespace {

char16_t FoldCase(char16_t ch) { return ch >= u'a' && ch <= u'z' ? ch - (u'a' - u'A') : ch; }

bool NameEquals(const char* pszName, LPCOLESTR pszCandidate) {
  for (; *pszName != '\0'; ++pszName, ++pszCandidate) {
    if (FoldCase(static_cast<char16_t>(*pszName)) != FoldCase(*pszCandidate)) {
      return false;
    }
  }
  return *pszCandidate == u'\0';
}

}  // namespace

HRESULT CvnDispGetIDsOfNames(std::span<const CvnDispMethod> methods, LPOLESTR* rgszNames,
                             UINT cNames, DISPID* rgDispId) {
  if (cNames == 0 || rgszNames == nullptr || rgDispId == nullptr) {
    return E_INVALIDARG;
  }
  for (UINT i = 0; i < cNames; ++i) {
    rgDispId[i] = DISPID_UNKNOWN;
  }
  for (const CvnDispMethod& method : methods) {
    if (rgszNames[0] != nullptr && NameEquals(method.m_pszName, rgszNames[0])) {
      rgDispId[0] = method.m_dispid;
      return cNames == 1 ? S_OK : DISP_E_UNKNOWNNAME;
    }
  }
  return DISP_E_UNKNOWNNAME;
}

HRESULT CvnDispInvoke(std::span<const CvnDispMethod> methods, IDispatch* pObject, DISPID dispid,
                      WORD wFlags, DISPPARAMS* pParams, VARIANT* pVarResult, UINT* puArgErr) {
  if (pParams == nullptr) {
    return E_INVALIDARG;
  }
  if ((wFlags & DISPATCH_METHOD) == 0) {
    return DISP_E_MEMBERNOTFOUND;
  }
  if (pParams->cNamedArgs != 0) {
    return DISP_E_NONAMEDARGS;
  }
  if (pParams->cArgs != 0 && pParams->rgvarg == nullptr) {
    return E_INVALIDARG;
  }
  for (const CvnDispMethod& method : methods) {
    if (method.m_dispid == dispid) {
      return method.m_pfnInvoke(pObject, pParams, pVarResult, puArgErr);
    }
  }
  return DISP_E_MEMBERNOTFOUND;
}

namespace CvnDispArgs {

const VARIANT* ArgAt(const DISPPARAMS* pParams, UINT nIndex) {
  // Arguments are stored last one first.
  return nIndex < pParams->cArgs ? &pParams->rgvarg[pParams->cArgs - 1 - nIndex] : nullptr;
}

HRESULT Long::Load(const VARIANT* pArg, bool) {
  if (pArg == nullptr) {
    return DISP_E_PARAMNOTFOUND;
  }
  VARIANT varLong;
  VariantInit(&varLong);
  if (FAILED(VariantChangeType(&varLong, pArg, 0, VT_I4))) {
    return DISP_E_TYPEMISMATCH;
  }
  m_lValue = varLong.lVal;
  return S_OK;
}

Arg<BSTR>::Arg() { VariantInit(&m_varConverted); }

Arg<BSTR>::~Arg() { VariantClear(&m_varConverted); }

HRESULT Arg<BSTR>::Load(const VARIANT* pArg, bool) {
  if (pArg == nullptr) {
    return DISP_E_PARAMNOTFOUND;
  }
  if (pArg->vt == VT_BSTR) {
    m_bstr = pArg->bstrVal;
  } else if (pArg->vt == (VT_BYREF | VT_BSTR)) {
    m_bstr = *pArg->pbstrVal;
  } else if (pArg->vt == VT_EMPTY || pArg->vt == VT_NULL) {
    m_bstr = nullptr;
  } else if (SUCCEEDED(VariantChangeType(&m_varConverted, pArg, 0, VT_BSTR))) {
    m_bstr = m_varConverted.bstrVal;
  } else {
    return DISP_E_TYPEMISMATCH;
  }
  return S_OK;
}

HRESULT Arg<unsigned char*>::Load(const VARIANT* pArg, bool) {
  if (pArg == nullptr) {
    return DISP_E_PARAMNOTFOUND;
  }
  if (pArg->vt != (VT_BYREF | VT_UI1)) {
    return DISP_E_TYPEMISMATCH;
  }
  m_pb = pArg->pbVal;
  return S_OK;
}

void Arg<LONG*>::Finish(VARIANT* pVarResult) {
  if (m_bRetval && pVarResult != nullptr) {
    pVarResult->vt = VT_I4;
    pVarResult->lVal = m_Value;
  }
}

void Arg<BSTR*>::Finish(VARIANT* pVarResult) {
  if (!m_bRetval) {
    return;
  }
  if (pVarResult != nullptr) {
    pVarResult->vt = VT_BSTR;
    pVarResult->bstrVal = m_Value;
  } else {
    SysFreeString(m_Value);
  }
}

void Arg<IMsgInterpreter**>::Finish(VARIANT* pVarResult) {
  IDispatch* pDispatch = m_pInterpreter;
  if (!m_bRetval) {
    *m_pRef = pDispatch;
  } else if (pVarResult != nullptr) {
    pVarResult->vt = VT_DISPATCH;
    pVarResult->pdispVal = pDispatch;
  } else if (pDispatch != nullptr) {
    pDispatch->Release();
  }
}

}  // namespace CvnDispArgs
