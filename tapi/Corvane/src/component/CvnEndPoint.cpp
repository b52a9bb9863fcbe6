#include "CvnEndPoint.h"

#include <cstdio>
#include <cstring>
#include <set>

#include "CCMAD.h"
#include "CCMCC.h"
#include "CvnDispatch.h"
#include "CvnModule.h"
#include "CvnNotificationHook.h"
#include "CvnSocketReader.h"
#include "CvnText.h"
#include "plat/oleauto.h"
#include "plat/registry.h"
#include "plat/sync.h"

namespace {

// Request type codes.
constexpr WORD s_wRegistration = 0x0101;
constexpr WORD s_wUnregister = 0x0103;
constexpr WORD s_wOffhook = 0x0201;
constexpr WORD s_wAnswer = 0x0202;
constexpr WORD s_wOnhook = 0x0203;
constexpr WORD s_wDialDigits = 0x0205;
constexpr WORD s_wTransfer = 0x0206;
constexpr WORD s_wTransferEnd = 0x0207;
constexpr WORD s_wConference = 0x0209;
constexpr WORD s_wAddToConf = 0x020A;
constexpr WORD s_wHold = 0x020B;
constexpr WORD s_wUnhold = 0x020C;
constexpr WORD s_wPark = 0x020D;
constexpr WORD s_wUnpark = 0x020E;
constexpr WORD s_wGroupPickup = 0x0211;
constexpr WORD s_wDirectedPickup = 0x0212;
constexpr WORD s_wPhoneQuery = 0x0401;

// The longest extension a message header can carry.
constexpr size_t s_nMaxExtension = 17;

constexpr const char* s_pszConfigKey = "Software\\KIV\\Corvane";

// Class-wide state: the live endpoints (the first creates the socket reader and installs the
// notification hook, the last removes both). Guarded by g_csClass.
std::mutex g_csClass;
std::set<CvnEndPoint*> g_LiveEndPoints;
CvnSocketReader* g_pSocketReader = nullptr;
HHOOK g_hNotifyHook = nullptr;

// The socket reader, which lives as long as any endpoint does.
CvnSocketReader& Reader() { return *g_pSocketReader; }

// The dial, park, unpark and pickup filter: only '0'-'9' and ',' are kept.
std::string FilterDigits(const std::string& strDigits) {
  std::string strFiltered;
  for (const char ch : strDigits) {
    if ((ch >= '0' && ch <= '9') || ch == ',') {
      strFiltered += ch;
    }
  }
  return strFiltered;
}

// The dispatch table of ICvnEndPoint: identifiers 1-30 in interface order.
constexpr CvnDispMethod s_EndPointMethods[] = {
    CVN_DISP_METHOD(1, ICvnEndPoint, Register),
    CVN_DISP_METHOD(2, ICvnEndPoint, Unregister),
    CVN_DISP_METHOD(3, ICvnEndPoint, Offhook),
    CVN_DISP_METHOD(4, ICvnEndPoint, Onhook),
    CVN_DISP_METHOD(5, ICvnEndPoint, DialDigits),
    CVN_DISP_METHOD(6, ICvnEndPoint, Transfer),
    CVN_DISP_METHOD(7, ICvnEndPoint, TransferEnd),
    CVN_DISP_METHOD(8, ICvnEndPoint, Answer),
    CVN_DISP_METHOD(9, ICvnEndPoint, Conference),
    CVN_DISP_METHOD(10, ICvnEndPoint, AddToConf),
    CVN_DISP_METHOD(11, ICvnEndPoint, RetrieveMsg),
    CVN_DISP_METHOD(12, ICvnEndPoint, IsActive),
    CVN_DISP_METHOD(13, ICvnEndPoint, ConfigureServer),
    CVN_DISP_METHOD(14, ICvnEndPoint, ConnectToServer),
    CVN_DISP_METHOD(15, ICvnEndPoint, DisconnectFromServer),
    CVN_DISP_METHOD(16, ICvnEndPoint, ConfigureServerA),
    CVN_DISP_METHOD(17, ICvnEndPoint, DialDigitsA),
    CVN_DISP_METHOD(18, ICvnEndPoint, RegisterA),
    CVN_DISP_METHOD(19, ICvnEndPoint, Hold),
    CVN_DISP_METHOD(20, ICvnEndPoint, Unhold),
    CVN_DISP_METHOD(21, ICvnEndPoint, Park),
    CVN_DISP_METHOD(22, ICvnEndPoint, UnPark),
    CVN_DISP_METHOD(23, ICvnEndPoint, QueryCurrentConfig),
    CVN_DISP_METHOD(24, ICvnEndPoint, QueryCurrentConfigA),
    CVN_DISP_METHOD(25, ICvnEndPoint, ResetPhoneMessage),
    CVN_DISP_METHOD(26, ICvnEndPoint, SetPhoneOperation),
    CVN_DISP_METHOD(27, ICvnEndPoint, ClearPhoneOperation),
    CVN_DISP_METHOD(28, ICvnEndPoint, IsPhoneOperationSet),
    CVN_DISP_METHOD(29, ICvnEndPoint, SendPhoneMessage),
    CVN_DISP_METHOD(30, ICvnEndPoint, Pickup),
};

}  // namespace

HRESULT CvnEndPoint::CreateInstance(REFIID riid, void** ppv) {
  CvnEndPoint* pEndPoint = new (std::nothrow) CvnEndPoint();
  if (pEndPoint == nullptr) {
    return E_OUTOFMEMORY;
  }
  const HRESULT hr = pEndPoint->QueryInterface(riid, ppv);
  pEndPoint->Release();
  return hr;
}

CvnEndPoint::CvnEndPoint()
    : m_dwCreatorThreadId(GetCurrentThreadId()),
      m_hNativeMsgEvent(CreateEvent(nullptr, FALSE, FALSE, nullptr)),
      m_ConnectionPoint(this) {
  CvnModule::Lock();
  std::lock_guard<std::mutex> lock(g_csClass);
  if (g_LiveEndPoints.empty()) {
    g_pSocketReader = new CvnSocketReader();
    g_hNotifyHook = CvnInstallNotificationHook();
  }
  g_LiveEndPoints.insert(this);
}

CvnEndPoint::~CvnEndPoint() {
  // A route must not outlive its endpoint: after this the reader delivers nothing more here.
  Reader().RemoveRoutesTo(this);
  {
    std::lock_guard<std::mutex> lock(g_csClass);
    g_LiveEndPoints.erase(this);
    if (g_LiveEndPoints.empty()) {
      CvnRemoveNotificationHook(g_hNotifyHook);
      g_hNotifyHook = nullptr;
      delete g_pSocketReader;
      g_pSocketReader = nullptr;
    }
  }
  if (m_hNativeMsgEvent != nullptr) {
    CloseHandle(m_hNativeMsgEvent);
  }
  CvnModule::Unlock();
}

STDMETHODIMP CvnEndPoint::QueryInterface(REFIID riid, void** ppvObject) {
  if (ppvObject == nullptr) {
    return E_POINTER;
  }
  if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_ICvnEndPoint) {
    *ppvObject = static_cast<ICvnEndPoint*>(this);
  } else if (riid == IID_IConnectionPointContainer) {
    *ppvObject = static_cast<IConnectionPointContainer*>(this);
  } else {
    // The control and view interfaces of a visual control have no container here.
    *ppvObject = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) CvnEndPoint::AddRef() { return ++m_cRef; }

STDMETHODIMP_(ULONG) CvnEndPoint::Release() {
  const ULONG cRef = --m_cRef;
  if (cRef == 0) {
    delete this;
  }
  return cRef;
}

bool CvnEndPoint::TryAddRef() {
  ULONG cRef = m_cRef.load();
  while (cRef != 0) {
    if (m_cRef.compare_exchange_weak(cRef, cRef + 1)) {
      return true;
    }
  }
  return false;
}

STDMETHODIMP CvnEndPoint::GetTypeInfoCount(UINT* pctinfo) {
  if (pctinfo == nullptr) {
    return E_POINTER;
  }
  *pctinfo = 0;
  return S_OK;
}

STDMETHODIMP CvnEndPoint::GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) {
  if (ppTInfo != nullptr) {
    *ppTInfo = nullptr;
  }
  return E_NOTIMPL;
}

STDMETHODIMP CvnEndPoint::GetIDsOfNames(REFIID, LPOLESTR* rgszNames, UINT cNames, LCID,
                                        DISPID* rgDispId) {
  return CvnDispGetIDsOfNames(s_EndPointMethods, rgszNames, cNames, rgDispId);
}

STDMETHODIMP CvnEndPoint::Invoke(DISPID dispIdMember, REFIID, LCID, WORD wFlags,
                                 DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO*,
                                 UINT* puArgErr) {
  return CvnDispInvoke(s_EndPointMethods, static_cast<ICvnEndPoint*>(this), dispIdMember, wFlags,
                       pDispParams, pVarResult, puArgErr);
}

// ---------------------------------------------------------------------------------------------
// Requests

HRESULT CvnEndPoint::SendRequest(CCMMessage& msg) {
  std::lock_guard<std::mutex> lock(m_csRequest);
  msg.SetExtension(m_strExtension.c_str());
  return Reader().Send(msg);
}

HRESULT CvnEndPoint::SendLineRequest(WORD wType, LONG lSALNum) {
  if (lSALNum <= 0) {
    return E_FAIL;
  }
  CCMCC msg;
  msg.SetType(wType);
  msg.SetLineNumber(static_cast<WORD>(lSALNum));
  return SendRequest(msg);
}

HRESULT CvnEndPoint::SendDigitsRequest(WORD wType, LONG lSALNum, BSTR bstrDigits) {
  if (lSALNum <= 0 || SysStringByteLen(bstrDigits) == 0) {
    return E_FAIL;
  }
  CCMCC msg;
  msg.SetType(wType);
  msg.SetLineNumber(static_cast<WORD>(lSALNum));
  msg.SetDigits(FilterDigits(CvnNarrowText(bstrDigits)).c_str());
  return SendRequest(msg);
}

STDMETHODIMP CvnEndPoint::RegisterA(BSTR PhoneExt, BSTR Passward) {
  const std::string strExtension = CvnNarrowText(PhoneExt);
  if (strExtension.size() > s_nMaxExtension) {
    // A header carries at most 17 characters: no message could ever be routed back.
    return E_FAIL;
  }
  {
    std::lock_guard<std::mutex> lock(m_csRequest);
    m_strExtension = strExtension;
  }
  Reader().AddRoute(strExtension, this);
  CCMAD msg;
  msg.SetType(s_wRegistration);
  msg.SetPassword(CvnNarrowText(Passward).c_str());
  return SendRequest(msg);
}

STDMETHODIMP CvnEndPoint::Register(BSTR PhoneExt, BSTR Passward) {
  BSTR bstrExtension = CvnNarrowBstr(CvnNarrowFromWide(PhoneExt));
  BSTR bstrPassword = CvnNarrowBstr(CvnNarrowFromWide(Passward));
  const HRESULT hr = RegisterA(bstrExtension, bstrPassword);
  SysFreeString(bstrExtension);
  SysFreeString(bstrPassword);
  return hr;
}

STDMETHODIMP CvnEndPoint::Unregister() {
  CCMAD msg;
  msg.SetType(s_wUnregister);
  SendRequest(msg);
  return S_OK;
}

STDMETHODIMP CvnEndPoint::Offhook(LONG lSALNum, LONG lReqId) {
  CCMCC msg;
  msg.SetType(s_wOffhook);
  if (lSALNum > 0) {
    msg.SetLineNumber(static_cast<WORD>(lSALNum));
  } else {
    msg.SetRequestId(static_cast<DWORD>(lReqId));
  }
  return SendRequest(msg);
}

STDMETHODIMP CvnEndPoint::Onhook(LONG lSALNum) { return SendLineRequest(s_wOnhook, lSALNum); }
STDMETHODIMP CvnEndPoint::Answer(LONG lSALNum) { return SendLineRequest(s_wAnswer, lSALNum); }
STDMETHODIMP CvnEndPoint::TransferEnd(LONG lSALNum) {
  return SendLineRequest(s_wTransferEnd, lSALNum);
}
STDMETHODIMP CvnEndPoint::AddToConf(LONG lSALNum) { return SendLineRequest(s_wAddToConf, lSALNum); }
STDMETHODIMP CvnEndPoint::Hold(LONG lSALNum) { return SendLineRequest(s_wHold, lSALNum); }
STDMETHODIMP CvnEndPoint::Unhold(LONG lSALNum) { return SendLineRequest(s_wUnhold, lSALNum); }

STDMETHODIMP CvnEndPoint::Transfer(LONG lReqId) {
  CCMCC msg;
  msg.SetType(s_wTransfer);
  msg.SetRequestId(static_cast<DWORD>(lReqId));
  return SendRequest(msg);
}

STDMETHODIMP CvnEndPoint::Conference(LONG lReqId) {
  CCMCC msg;
  msg.SetType(s_wConference);
  msg.SetRequestId(static_cast<DWORD>(lReqId));
  return SendRequest(msg);
}

STDMETHODIMP CvnEndPoint::DialDigitsA(LONG lSALNum, BSTR bstrDigits) {
  return SendDigitsRequest(s_wDialDigits, lSALNum, bstrDigits);
}

STDMETHODIMP CvnEndPoint::DialDigits(LONG lSALNum, BSTR bstrDigits) {
  BSTR bstrNarrow = CvnNarrowBstr(CvnNarrowFromWide(bstrDigits));
  const HRESULT hr = DialDigitsA(lSALNum, bstrNarrow);
  SysFreeString(bstrNarrow);
  return hr;
}

STDMETHODIMP CvnEndPoint::Park(LONG lSALNum, BSTR bstrDigits) {
  return SendDigitsRequest(s_wPark, lSALNum, bstrDigits);
}

STDMETHODIMP CvnEndPoint::UnPark(LONG lSALNum, BSTR bstrDigits) {
  return SendDigitsRequest(s_wUnpark, lSALNum, bstrDigits);
}

STDMETHODIMP CvnEndPoint::Pickup(LONG lSALNum, BSTR bstrDigits, LONG lDirectedPickup) {
  return SendDigitsRequest(lDirectedPickup != 0 ? s_wDirectedPickup : s_wGroupPickup, lSALNum,
                           bstrDigits);
}

// ---------------------------------------------------------------------------------------------
// Phone query

STDMETHODIMP CvnEndPoint::ResetPhoneMessage() {
  std::lock_guard<std::mutex> lock(m_csRequest);
  m_PhoneMsg.Reset();
  return S_OK;
}

STDMETHODIMP CvnEndPoint::SetPhoneOperation(CvnPhoneOperationE op) {
  std::lock_guard<std::mutex> lock(m_csRequest);
  m_PhoneMsg.SetPhoneOperation(static_cast<DWORD>(op));
  return S_OK;
}

STDMETHODIMP CvnEndPoint::ClearPhoneOperation(CvnPhoneOperationE op) {
  std::lock_guard<std::mutex> lock(m_csRequest);
  m_PhoneMsg.ClearPhoneOperation(static_cast<DWORD>(op));
  return S_OK;
}

STDMETHODIMP CvnEndPoint::IsPhoneOperationSet(CvnPhoneOperationE op, LONG* bRetVal) {
  if (bRetVal == nullptr) {
    return E_POINTER;
  }
  std::lock_guard<std::mutex> lock(m_csRequest);
  *bRetVal = static_cast<LONG>(m_PhoneMsg.bIsItSet(static_cast<DWORD>(op)));
  return S_OK;
}

STDMETHODIMP CvnEndPoint::SendPhoneMessage() {
  std::lock_guard<std::mutex> lock(m_csRequest);
  m_PhoneMsg.SetType(s_wPhoneQuery);
  m_PhoneMsg.SetExtension(m_strExtension.c_str());
  return Reader().Send(m_PhoneMsg);
}

// ---------------------------------------------------------------------------------------------
// Connection

STDMETHODIMP CvnEndPoint::ConnectToServer(LONG* hEvent) {
  if (hEvent == nullptr) {
    return E_POINTER;
  }
  {
    // The delivery mode is set before the reader may deliver anything.
    std::lock_guard<std::mutex> lock(m_csQueue);
    if (*hEvent == 0) {
      m_bUseEvent = false;
      m_hSignalEvent = nullptr;
    } else if (*hEvent == -1) {
      m_bUseEvent = true;
      m_hSignalEvent = m_hNativeMsgEvent;
    } else {
      m_bUseEvent = true;
      m_hSignalEvent = reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(*hEvent));
    }
    *hEvent = static_cast<LONG>(reinterpret_cast<LONG_PTR>(m_hSignalEvent));
  }
  // A failure shows at the first request.
  Reader().Start();
  return S_OK;
}

STDMETHODIMP CvnEndPoint::DisconnectFromServer() {
  std::string strExtension;
  {
    std::lock_guard<std::mutex> lock(m_csRequest);
    strExtension = m_strExtension;
  }
  Reader().RemoveRoute(strExtension);
  Reader().Stop(false);
  return S_OK;
}

STDMETHODIMP CvnEndPoint::IsActive(LONG* bActive) {
  if (bActive == nullptr) {
    return E_POINTER;
  }
  *bActive = 1;
  return S_OK;
}

// ---------------------------------------------------------------------------------------------
// Configuration

STDMETHODIMP CvnEndPoint::ConfigureServerA(BSTR IPAddr, LONG PortId) {
  const std::string strAddress = CvnNarrowText(IPAddr);
  if (SysStringByteLen(IPAddr) == 0 || PortId < 0) {
    return E_FAIL;
  }
  const LONG lPort = PortId == 0 ? CvnSocketReader::s_nDefaultPort : PortId;
  HKEY hKey = nullptr;
  DWORD dwDisposition = 0;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, s_pszConfigKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_ALL_ACCESS, nullptr, &hKey, &dwDisposition) != ERROR_SUCCESS) {
    return E_FAIL;
  }
  char szPort[16];
  std::snprintf(szPort, sizeof szPort, "%d", static_cast<int>(lPort));
  const bool bWritten =
      RegSetValueExA(hKey, "ServerIPAddr", 0, REG_SZ,
                     reinterpret_cast<const BYTE*>(strAddress.c_str()),
                     static_cast<DWORD>(strAddress.size() + 1)) == ERROR_SUCCESS &&
      RegSetValueExA(hKey, "ServerPortId", 0, REG_SZ, reinterpret_cast<const BYTE*>(szPort),
                     static_cast<DWORD>(std::strlen(szPort) + 1)) == ERROR_SUCCESS;
  RegCloseKey(hKey);
  return bWritten ? S_OK : E_FAIL;
}

STDMETHODIMP CvnEndPoint::ConfigureServer(BSTR IPAddr, LONG PortId) {
  BSTR bstrNarrow = IPAddr == nullptr ? nullptr : CvnNarrowBstr(CvnNarrowFromWide(IPAddr));
  const HRESULT hr = ConfigureServerA(bstrNarrow, PortId);
  SysFreeString(bstrNarrow);
  return hr;
}

STDMETHODIMP CvnEndPoint::QueryCurrentConfigA(BSTR* bstrIPAddr, LONG* lPortId) {
  if (bstrIPAddr == nullptr || lPortId == nullptr) {
    return E_POINTER;
  }
  SysFreeString(*bstrIPAddr);
  std::string strAddress;
  int nPort = 0;
  CvnSocketReader::ReadConfiguration(strAddress, nPort);
  *bstrIPAddr = CvnNarrowBstr(strAddress);
  *lPortId = nPort;
  return S_OK;
}

STDMETHODIMP CvnEndPoint::QueryCurrentConfig(BSTR* bstrIPAddr, LONG* lPortId) {
  if (bstrIPAddr == nullptr || lPortId == nullptr) {
    return E_POINTER;
  }
  BSTR bstrNarrow = nullptr;
  const HRESULT hr = QueryCurrentConfigA(&bstrNarrow, lPortId);
  if (SUCCEEDED(hr)) {
    SysFreeString(*bstrIPAddr);
    const std::string strAddress = CvnNarrowText(bstrNarrow);
    *bstrIPAddr = CvnWideFromNarrow(strAddress.data(), strAddress.size());
  }
  SysFreeString(bstrNarrow);
  return hr;
}

// ---------------------------------------------------------------------------------------------
// Messages

void CvnEndPoint::OnNativeMsg(const BYTE* pMessage) {
  const WORD wLength = CCMLayout::ReadWord(pMessage + CCMLayout::Length.m_nOffset);
  std::unique_ptr<BYTE[]> pCopy(new (std::nothrow) BYTE[wLength]);
  if (pCopy == nullptr) {
    return;
  }
  std::memcpy(pCopy.get(), pMessage, wLength);
  std::lock_guard<std::mutex> lock(m_csQueue);
  m_MsgQueue.push_back(std::move(pCopy));
  if (m_bUseEvent) {
    SetEvent(m_hSignalEvent);
  } else {
    PostThreadMessage(m_dwCreatorThreadId, CVN_NOTIFY_MSG, CVN_NOTIFY_MARKER,
                      reinterpret_cast<LPARAM>(this));
  }
}

STDMETHODIMP CvnEndPoint::RetrieveMsg(IMsgInterpreter** IMsgInt) {
  if (IMsgInt == nullptr) {
    return E_POINTER;
  }
  *IMsgInt = nullptr;
  std::unique_ptr<BYTE[]> pMessage;
  {
    std::lock_guard<std::mutex> lock(m_csQueue);
    if (m_MsgQueue.empty()) {
      return E_FAIL;
    }
    pMessage = std::move(m_MsgQueue.front());
    m_MsgQueue.pop_front();
  }
  void* pv = nullptr;
  if (FAILED(CoCreateInstance(CLSID_MsgInterpreter, nullptr, CLSCTX_INPROC_SERVER,
                              IID_IMsgInterpreter, &pv))) {
    // Back at the head: the message is retrieved by a later call.
    std::lock_guard<std::mutex> lock(m_csQueue);
    m_MsgQueue.push_front(std::move(pMessage));
    return E_FAIL;
  }
  IMsgInterpreter* pInterpreter = static_cast<IMsgInterpreter*>(pv);
  pInterpreter->SetMsgBody(pMessage.release());
  {
    std::lock_guard<std::mutex> lock(m_csQueue);
    if (!m_MsgQueue.empty() && m_hSignalEvent != nullptr) {
      SetEvent(m_hSignalEvent);
    }
  }
  *IMsgInt = pInterpreter;
  return S_OK;
}

void CvnEndPoint::OnPostedNotification(LPARAM lParam) {
  CvnEndPoint* pEndPoint = nullptr;
  {
    // The posted pointer is used only while it names a live endpoint, which is then held.
    std::lock_guard<std::mutex> lock(g_csClass);
    const auto it = g_LiveEndPoints.find(reinterpret_cast<CvnEndPoint*>(lParam));
    if (it != g_LiveEndPoints.end() && (*it)->TryAddRef()) {
      pEndPoint = *it;
    }
  }
  if (pEndPoint == nullptr) {
    return;
  }
  IMsgInterpreter* pMsgInt = nullptr;
  if (SUCCEEDED(pEndPoint->RetrieveMsg(&pMsgInt))) {
    pEndPoint->m_ConnectionPoint.FireCvnNotification(pMsgInt);
    pMsgInt->Release();
  }
  // A sink may have released the endpoint: this can be its last reference.
  pEndPoint->Release();
}

STDMETHODIMP CvnEndPoint::EnumConnectionPoints(IEnumConnectionPoints** ppEnum) {
  if (ppEnum != nullptr) {
    *ppEnum = nullptr;
  }
  return E_NOTIMPL;
}

STDMETHODIMP CvnEndPoint::FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) {
  if (ppCP == nullptr) {
    return E_POINTER;
  }
  if (riid != DIID_IMsgEvent) {
    *ppCP = nullptr;
    return CONNECT_E_NOCONNECTION;
  }
  *ppCP = &m_ConnectionPoint;
  AddRef();
  return S_OK;
}
