// CvnDispatch: IDispatch for the component's dual interfaces, driven by one table per interface
// that maps each dispatch identifier and name to the interface method. The argument types come
// from the method's own signature: LONG and enumerations, BSTR, LONG*, BSTR*,
// IMsgInterpreter** and unsigned char*. An output pointer the caller leaves out as the last
// argument is the return value (pVarResult). Tables are constant; the functions keep no state
// and may be called from any thread.
#pragma once

#include <cstddef>
#include <span>
#include <tuple>
#include <utility>

#include "Corvane.h"

struct CvnDispMethod {
  DISPID m_dispid;
  const char* m_pszName;
  HRESULT (*m_pfnInvoke)
  (IDispatch* pObject, DISPPARAMS* pParams, VARIANT* pVarResult, UINT* puArgErr);
};

// Names are matched without regard to case; argument names are not known (DISP_E_UNKNOWNNAME).
HRESULT CvnDispGetIDsOfNames(std::span<const CvnDispMethod> methods, LPOLESTR* rgszNames,
                             UINT cNames, DISPID* rgDispId);
// DISP_E_MEMBERNOTFOUND for an unknown identifier or a property access, DISP_E_NONAMEDARGS,
// DISP_E_BADPARAMCOUNT, DISP_E_PARAMNOTFOUND, DISP_E_TYPEMISMATCH (*puArgErr = the argument);
// otherwise the method's own result.
HRESULT CvnDispInvoke(std::span<const CvnDispMethod> methods, IDispatch* pObject, DISPID dispid,
                      WORD wFlags, DISPPARAMS* pParams, VARIANT* pVarResult, UINT* puArgErr);

// How one argument of each supported type is taken from its VARIANT (null when the caller left
// it out) and, for outputs, handed back.
namespace CvnDispArgs {

struct Long {
  HRESULT Load(const VARIANT* pArg, bool bLast);
  void Finish(VARIANT*) {}
  LONG m_lValue = 0;
};

template <class T>
struct Arg;

template <>
struct Arg<LONG> : Long {
  LONG Get() const { return m_lValue; }
};
template <>
struct Arg<CvnPhoneOperationE> : Long {
  CvnPhoneOperationE Get() const { return static_cast<CvnPhoneOperationE>(m_lValue); }
};

template <>
struct Arg<BSTR> {
  Arg();
  ~Arg();
  Arg(const Arg&) = delete;
  Arg& operator=(const Arg&) = delete;
  HRESULT Load(const VARIANT* pArg, bool bLast);
  void Finish(VARIANT*) {}
  BSTR Get() const { return m_bstr; }
  VARIANT m_varConverted;
  BSTR m_bstr = nullptr;
};

template <>
struct Arg<unsigned char*> {
  HRESULT Load(const VARIANT* pArg, bool bLast);
  void Finish(VARIANT*) {}
  unsigned char* Get() const { return m_pb; }
  unsigned char* m_pb = nullptr;
};

// An output: a reference of the expected type, or the return value when left out last.
template <class T, VARTYPE vt>
struct Out {
  HRESULT Load(const VARIANT* pArg, bool bLast) {
    if (pArg == nullptr) {
      if (!bLast) return DISP_E_PARAMNOTFOUND;
      m_bRetval = true;
      return S_OK;
    }
    if (pArg->vt != (VT_BYREF | vt)) return DISP_E_TYPEMISMATCH;
    m_pRef = static_cast<T*>(pArg->byref);
    return S_OK;
  }
  T* Get() { return m_bRetval ? &m_Value : m_pRef; }
  T m_Value{};
  T* m_pRef = nullptr;
  bool m_bRetval = false;
};

template <>
struct Arg<LONG*> : Out<LONG, VT_I4> {
  void Finish(VARIANT* pVarResult);
};
template <>
struct Arg<BSTR*> : Out<BSTR, VT_BSTR> {
  void Finish(VARIANT* pVarResult);
};
// The interpreter travels as IDispatch (VT_DISPATCH), its base interface.
template <>
struct Arg<IMsgInterpreter**> : Out<IDispatch*, VT_DISPATCH> {
  IMsgInterpreter** Get() { return &m_pInterpreter; }
  void Finish(VARIANT* pVarResult);
  IMsgInterpreter* m_pInterpreter = nullptr;
};

const VARIANT* ArgAt(const DISPPARAMS* pParams, UINT nIndex);

template <class>
struct MethodTraits;
template <class I, class... Args>
struct MethodTraits<HRESULT (STDMETHODCALLTYPE I::*)(Args...)> {
  using Interface = I;
  using Holders = std::tuple<Arg<Args>...>;
};

template <auto pfnMethod, size_t... Is>
HRESULT Call(IDispatch* pObject, DISPPARAMS* pParams, [[maybe_unused]] VARIANT* pVarResult,
             UINT* puArgErr, std::index_sequence<Is...>) {
  using Traits = MethodTraits<decltype(pfnMethod)>;
  constexpr UINT nArgs = sizeof...(Is);
  if (pParams->cArgs > nArgs) {
    return DISP_E_BADPARAMCOUNT;
  }
  typename Traits::Holders holders;
  HRESULT hr = S_OK;
  [[maybe_unused]] const auto load = [&](auto& holder, UINT nIndex) {
    if (SUCCEEDED(hr)) {
      hr = holder.Load(ArgAt(pParams, nIndex), nIndex + 1 == nArgs);
      if (FAILED(hr) && puArgErr != nullptr) {
        *puArgErr = nIndex < pParams->cArgs ? pParams->cArgs - 1 - nIndex : 0;
      }
    }
  };
  (load(std::get<Is>(holders), Is), ...);
  if (FAILED(hr)) {
    return hr;
  }
  auto* pInterface = static_cast<typename Traits::Interface*>(pObject);
  hr = (pInterface->*pfnMethod)(std::get<Is>(holders).Get()...);
  (std::get<Is>(holders).Finish(pVarResult), ...);
  return hr;
}

template <auto pfnMethod>
HRESULT Invoke(IDispatch* pObject, DISPPARAMS* pParams, VARIANT* pVarResult, UINT* puArgErr) {
  using Holders = typename MethodTraits<decltype(pfnMethod)>::Holders;
  return Call<pfnMethod>(pObject, pParams, pVarResult, puArgErr,
                         std::make_index_sequence<std::tuple_size_v<Holders>>{});
}

}  // namespace CvnDispArgs

// One table row: CVN_DISP_METHOD(1, ICvnEndPoint, Register).
#define CVN_DISP_METHOD(dispid, Interface, Method) \
  CvnDispMethod { dispid, #Method, &CvnDispArgs::Invoke<&Interface::Method> }
