// CvnEndPoint: the COM class that drives one telephone extension on the call server. It
// registers the extension, sends call-control requests on the process's shared connection,
// queues the messages routed to it and hands each out as a MsgInterpreter, signalling an event
// (event mode) or posting to its creating thread (posting mode, see CvnNotificationHook).
// Methods may be called from any thread. The queue and the delivery mode are guarded by
// m_csQueue (the reader thread appends under it); the extension and the phone request by
// m_csRequest. The class-wide state (live endpoints, socket reader, hook) by s_csClass.
#pragma once

#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

#include "CCMPC.h"
#include "CPCorvane.h"
#include "Corvane.h"

class CCMMessage;
class CvnSocketReader;

class CvnEndPoint final : public ICvnEndPoint, public IConnectionPointContainer {
 public:
  // A new endpoint answering riid (the class factory's CreateInstance).
  static HRESULT CreateInstance(REFIID riid, void** ppv);

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID riid, void** ppvObject) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  // IDispatch over the method table (no type information).
  STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override;
  STDMETHODIMP GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
  STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                             DISPID* rgDispId) override;
  STDMETHODIMP Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                      DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                      UINT* puArgErr) override;

  // ICvnEndPoint
  STDMETHODIMP Register(BSTR PhoneExt, BSTR Passward) override;
  STDMETHODIMP Unregister() override;
  STDMETHODIMP Offhook(LONG lSALNum, LONG lReqId) override;
  STDMETHODIMP Onhook(LONG lSALNum) override;
  STDMETHODIMP DialDigits(LONG lSALNum, BSTR bstrDigits) override;
  STDMETHODIMP Transfer(LONG lReqId) override;
  STDMETHODIMP TransferEnd(LONG lSALNum) override;
  STDMETHODIMP Answer(LONG lSALNum) override;
  STDMETHODIMP Conference(LONG lReqId) override;
  STDMETHODIMP AddToConf(LONG lSALNum) override;
  STDMETHODIMP RetrieveMsg(IMsgInterpreter** IMsgInt) override;
  STDMETHODIMP IsActive(LONG* bActive) override;
  STDMETHODIMP ConfigureServer(BSTR IPAddr, LONG PortId) override;
  STDMETHODIMP ConnectToServer(LONG* hEvent) override;
  STDMETHODIMP DisconnectFromServer() override;
  STDMETHODIMP ConfigureServerA(BSTR IPAddr, LONG PortId) override;
  STDMETHODIMP DialDigitsA(LONG lSALNum, BSTR bstrDigits) override;
  STDMETHODIMP RegisterA(BSTR PhoneExt, BSTR Passward) override;
  STDMETHODIMP Hold(LONG lSALNum) override;
  STDMETHODIMP Unhold(LONG lSALNum) override;
  STDMETHODIMP Park(LONG lSALNum, BSTR bstrDigits) override;
  STDMETHODIMP UnPark(LONG lSALNum, BSTR bstrDigits) override;
  STDMETHODIMP QueryCurrentConfig(BSTR* bstrIPAddr, LONG* lPortId) override;
  STDMETHODIMP QueryCurrentConfigA(BSTR* bstrIPAddr, LONG* lPortId) override;
  STDMETHODIMP ResetPhoneMessage() override;
  STDMETHODIMP SetPhoneOperation(CvnPhoneOperationE op) override;
  STDMETHODIMP ClearPhoneOperation(CvnPhoneOperationE op) override;
  STDMETHODIMP IsPhoneOperationSet(CvnPhoneOperationE op, LONG* bRetVal) override;
  STDMETHODIMP SendPhoneMessage() override;
  STDMETHODIMP Pickup(LONG lSALNum, BSTR bstrDigits, LONG lDirectedPickup) override;

  // IConnectionPointContainer: the one connection point, for IMsgEvent.
  STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** ppEnum) override;
  STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override;

  // Message arrival, on the reader thread: queues a copy of the complete message pMessage and
  // signals the event or posts the notification message to the creating thread.
  void OnNativeMsg(const BYTE* pMessage);

  // Posting mode, on the hook's thread: lParam of a posted notification names an endpoint;
  // when it is still alive, retrieve its oldest message and fire CvnNotification with it.
  static void OnPostedNotification(LPARAM lParam);

 private:
  CvnEndPoint();
  ~CvnEndPoint();

  // An extra reference unless the object is already being destroyed.
  bool TryAddRef();
  // The common send step: the header extension from m_strExtension, then the socket reader.
  HRESULT SendRequest(CCMMessage& msg);
  HRESULT SendLineRequest(WORD wType, LONG lSALNum);
  HRESULT SendDigitsRequest(WORD wType, LONG lSALNum, BSTR bstrDigits);

  std::atomic<ULONG> m_cRef{1};
  const DWORD m_dwCreatorThreadId;
  HANDLE m_hNativeMsgEvent;
  CPCorvane m_ConnectionPoint;

  // Guarded by m_csQueue.
  std::mutex m_csQueue;
  bool m_bUseEvent = false;
  HANDLE m_hSignalEvent = nullptr;
  std::deque<std::unique_ptr<BYTE[]>> m_MsgQueue;

  // Guarded by m_csRequest (held across the send of a request that uses them).
  std::mutex m_csRequest;
  std::string m_strExtension;
  CCMPC m_PhoneMsg;
};
