#include "CPCorvane.h"

CPCorvane::~CPCorvane() {
  for (const auto& sink : m_Sinks) {
    sink.second->Release();
  }
}

STDMETHODIMP CPCorvane::QueryInterface(REFIID riid, void** ppvObject) {
  if (ppvObject == nullptr) {
    return E_POINTER;
  }
  if (riid == IID_IUnknown || riid == IID_IConnectionPoint) {
    *ppvObject = static_cast<IConnectionPoint*>(this);
    AddRef();
    return S_OK;
  }
  *ppvObject = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP CPCorvane::GetConnectionInterface(IID* pIID) {
  if (pIID == nullptr) {
    return E_POINTER;
  }
  *pIID = DIID_IMsgEvent;
  return S_OK;
}

STDMETHODIMP CPCorvane::GetConnectionPointContainer(IConnectionPointContainer** ppCPC) {
  if (ppCPC == nullptr) {
    return E_POINTER;
  }
  *ppCPC = m_pContainer;
  m_pContainer->AddRef();
  return S_OK;
}

STDMETHODIMP CPCorvane::Advise(IUnknown* pUnkSink, DWORD* pdwCookie) {
  if (pUnkSink == nullptr || pdwCookie == nullptr) {
    return E_POINTER;
  }
  *pdwCookie = 0;
  void* pv = nullptr;
  if (FAILED(pUnkSink->QueryInterface(DIID_IMsgEvent, &pv)) &&
      FAILED(pUnkSink->QueryInterface(IID_IDispatch, &pv))) {
    return CONNECT_E_CANNOTCONNECT;
  }
  std::lock_guard<std::mutex> lock(m_csSinks);
  *pdwCookie = m_dwNextCookie++;
  m_Sinks.emplace_back(*pdwCookie, static_cast<IDispatch*>(pv));
  return S_OK;
}

STDMETHODIMP CPCorvane::Unadvise(DWORD dwCookie) {
  IDispatch* pSink = nullptr;
  {
    std::lock_guard<std::mutex> lock(m_csSinks);
    for (auto it = m_Sinks.begin(); it != m_Sinks.end(); ++it) {
      if (it->first == dwCookie) {
        pSink = it->second;
        m_Sinks.erase(it);
        break;
      }
    }
  }
  if (pSink == nullptr) {
    return CONNECT_E_NOCONNECTION;
  }
  pSink->Release();
  return S_OK;
}

STDMETHODIMP CPCorvane::EnumConnections(IEnumConnections** ppEnum) {
  if (ppEnum != nullptr) {
    *ppEnum = nullptr;
  }
  return E_NOTIMPL;
}

void CPCorvane::FireCvnNotification(IMsgInterpreter* pMsgInt) {
  std::vector<IDispatch*> sinks;
  {
    std::lock_guard<std::mutex> lock(m_csSinks);
    for (const auto& sink : m_Sinks) {
      sink.second->AddRef();
      sinks.push_back(sink.second);
    }
  }
  for (IDispatch* pSink : sinks) {
    IDispatch* pArgument = pMsgInt;
    pArgument->AddRef();
    VARIANT varArgument;
    varArgument.vt = VT_BYREF | VT_DISPATCH;
    varArgument.ppdispVal = &pArgument;
    DISPPARAMS params{&varArgument, nullptr, 1, 0};
    const HRESULT hr = pSink->Invoke(DISPID_CvnNotification, IID_NULL, LOCALE_USER_DEFAULT,
                                     DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
    if (FAILED(hr) && pArgument != nullptr) {
      pArgument->Release();
    }
    pSink->Release();
  }
}
