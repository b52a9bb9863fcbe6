// Corvane.h: the component's published interface; clients include only this header.
// It holds what the component's type library publishes: the enumerations by which clients
// dispatch on received messages (never on wire codes) and the component's interfaces.
// Declarations only; no state. Interface methods may be called from any thread (the component
// runs every object free-threaded; see each class for what it guards).
#pragma once

#include "plat/com.h"

// ---------------------------------------------------------------------------------------------
// Enumerations
// ---------------------------------------------------------------------------------------------

// "Message Category"
enum MsgCategoryE {
  eAdministrativeMsg = 0x10000,
  eCallStatusMsg = 0x20000,
  ePhoneConfigReplyMsg = 0x30000,
};

// "Admin Message"
enum AdminMsgTypeE {
  eRegisterReply = 0x10001,
  eUnregisterReply = 0x10002,
  eShutdown = 0x10003,
};

// Replies to call-control requests (0x20001-0x2000E) and call-status events (0x28001 on).
enum CallStatusTypeE {
  eOffhookReply = 0x20001,
  eAnswerReply = 0x20002,
  eOnhookReply = 0x20003,
  eTransferReply = 0x20004,
  eTransferEndReply = 0x20005,
  eBlindTransferReply = 0x20006,
  eConferenceReply = 0x20007,
  eAddToConfReply = 0x20008,
  eHoldReply = 0x20009,
  eUnholdReply = 0x2000A,
  eParkReply = 0x2000B,
  eUnparkReply = 0x2000C,
  eForwardReply = 0x2000D,
  eRedirectReply = 0x2000E,
  eNewCall = 0x28001,
  eRingBack = 0x28002,
  eConnected = 0x28003,
  eBusy = 0x28004,
  eOnhookLocal = 0x28005,
  eOnhookRemote = 0x28006,
  eDigitLocal = 0x28007,
  eDigitRemote = 0x28008,
  eStopDialtone = 0x28009,
  ePickupGroup = 0x2800A,
  ePickupDirected = 0x2800B,
};
// "Call Status Message"
typedef CallStatusTypeE CallStatusMsgTypeE;

// "Phone Config Message"
enum PhoneConfigMsgTypeE {
  ePhoneQueryReply = 0x30001,
  ePhoneConfigReply = 0x30002,
};

// "Phone Operation": the items of a phone query (0-7) and of a phone configuration (8-17),
// and the two operations on the whole set. The underlying type is fixed so that any value a
// client passes is representable (values outside the list are unknown operations).
enum CvnPhoneOperationE : int {
  eCvnNumButtons = 0,
  eCvnNumLamps = 1,
  eCvnNumLCDRows = 2,
  eCvnNumLCDCols = 3,
  eCvnSWVer = 4,
  eCvnHWVer = 5,
  eCvnOwnerName = 6,
  eCvnMACAddr = 7,
  eCvnButtonInfo = 8,
  eCvnLCDDisplay = 9,
  eCvnHandsetGain = 10,
  eCvnHandsetVol = 11,
  eCvnSpeakerGain = 12,
  eCvnSpeakerVol = 13,
  eCvnHookswitchMode = 14,
  eCvnLampMode = 15,
  eCvnRingMode = 16,
  eCvnRingVol = 17,
  eCvnSetAllQuery = 18,
  eCvnClearAll = 19,
};

// ---------------------------------------------------------------------------------------------
// Interfaces
// ---------------------------------------------------------------------------------------------

// Identifiers of the component's classes, interfaces and type library.
// {6E00CB68-CAB5-426F-8722-F1196DB0A586}
inline constexpr CLSID CLSID_CvnEndPoint =
    {0x6E00CB68, 0xCAB5, 0x426F, {0x87, 0x22, 0xF1, 0x19, 0x6D, 0xB0, 0xA5, 0x86}};
// {50638E57-6E87-4213-A3B7-18C9914DA930}
inline constexpr CLSID CLSID_MsgInterpreter =
    {0x50638E57, 0x6E87, 0x4213, {0xA3, 0xB7, 0x18, 0xC9, 0x91, 0x4D, 0xA9, 0x30}};
// {DDDE2A27-6A99-4D67-A488-423B1E3A2312}
inline constexpr IID IID_ICvnEndPoint =
    {0xDDDE2A27, 0x6A99, 0x4D67, {0xA4, 0x88, 0x42, 0x3B, 0x1E, 0x3A, 0x23, 0x12}};
// {EFB9E637-9ADC-4F2D-B6B5-0AE2D730B42C}
inline constexpr IID IID_IMsgInterpreter =
    {0xEFB9E637, 0x9ADC, 0x4F2D, {0xB6, 0xB5, 0x0A, 0xE2, 0xD7, 0x30, 0xB4, 0x2C}};
// {081620EA-FBC2-4DEA-BFFB-826CB92DAF57}
inline constexpr IID DIID_IMsgEvent =
    {0x081620EA, 0xFBC2, 0x4DEA, {0xBF, 0xFB, 0x82, 0x6C, 0xB9, 0x2D, 0xAF, 0x57}};
// {ED0B6117-9527-4CDC-9324-A4DE8106F654}
inline constexpr GUID LIBID_CORVANELib =
    {0xED0B6117, 0x9527, 0x4CDC, {0x93, 0x24, 0xA4, 0xDE, 0x81, 0x06, 0xF6, 0x54}};

// "IMsgInterpreter Interface": one received message. Methods ending in A return 8-bit text
// packed into a BSTR by byte length, the others wide BSTRs; the caller frees every returned
// BSTR. A method called for a message of another category returns E_FAIL.
// Dispatch identifiers 1-24 in declaration order.
struct IMsgInterpreter : IDispatch {
  virtual HRESULT STDMETHODCALLTYPE GetMsgType(LONG* lMsgType) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetMsgCategory(LONG* lMsgCat) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetUserExtension(BSTR* bstrUserExt) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetStatus(LONG* lRetVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetFirstLineNum(LONG* lFirstLine) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSecondLineNum(LONG* lSecondLine) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetFirstAddr(BSTR* bstrAddr) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetCallerName(BSTR* bstrName) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetCallReason(LONG* lReason) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDTMFDigit(LONG* lDigit) = 0;
  // Adopts buffer (a complete message allocated with new[]); the interpreter frees it.
  virtual HRESULT STDMETHODCALLTYPE SetMsgBody(unsigned char* buffer) = 0;
  virtual HRESULT STDMETHODCALLTYPE DumpA(BSTR* buffer) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetMsgLength(LONG* len) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetMsgRevision(LONG* rev) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSecurityCookie(LONG* cookie) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetRequestId(LONG* ReqId) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetUserExtensionA(BSTR* bstrUserExt) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetCallerNameA(BSTR* bstrName) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetFirstAddrA(BSTR* bstrAddr) = 0;
  virtual HRESULT STDMETHODCALLTYPE IsPhoneOperationSet(CvnPhoneOperationE op, LONG* bRetVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetPhoneOwnerNameA(BSTR* bstrName) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetPhoneOwnerName(BSTR* bstrName) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDialedNum(BSTR* bstrName) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDialedNumA(BSTR* bstrName) = 0;

 protected:
  ~IMsgInterpreter() = default;
};

// "ICvnEndPoint Interface": one telephone extension on the call server. Narrow text (methods
// ending in A, and Park, UnPark, Pickup) is 8-bit text packed into a BSTR by byte length; the
// caller keeps what it passes and frees what it receives. Dispatch identifiers 1-30 in
// declaration order. Every method returns S_OK or E_FAIL.
struct ICvnEndPoint : IDispatch {
  virtual HRESULT STDMETHODCALLTYPE Register(BSTR PhoneExt, BSTR Passward) = 0;
  virtual HRESULT STDMETHODCALLTYPE Unregister() = 0;
  virtual HRESULT STDMETHODCALLTYPE Offhook(LONG lSALNum, LONG lReqId) = 0;
  virtual HRESULT STDMETHODCALLTYPE Onhook(LONG lSALNum) = 0;
  virtual HRESULT STDMETHODCALLTYPE DialDigits(LONG lSALNum, BSTR bstrDigits) = 0;
  virtual HRESULT STDMETHODCALLTYPE Transfer(LONG lReqId) = 0;
  virtual HRESULT STDMETHODCALLTYPE TransferEnd(LONG lSALNum) = 0;
  virtual HRESULT STDMETHODCALLTYPE Answer(LONG lSALNum) = 0;
  virtual HRESULT STDMETHODCALLTYPE Conference(LONG lReqId) = 0;
  virtual HRESULT STDMETHODCALLTYPE AddToConf(LONG lSALNum) = 0;
  // The oldest queued message, or E_FAIL and null when none is queued.
  virtual HRESULT STDMETHODCALLTYPE RetrieveMsg(IMsgInterpreter** IMsgInt) = 0;
  virtual HRESULT STDMETHODCALLTYPE IsActive(LONG* bActive) = 0;
  virtual HRESULT STDMETHODCALLTYPE ConfigureServer(BSTR IPAddr, LONG PortId) = 0;
  // *hEvent: 0 posting mode, -1 the endpoint's own auto-reset event (returned in *hEvent),
  // another value an event of the caller's (which the caller keeps owning).
  virtual HRESULT STDMETHODCALLTYPE ConnectToServer(LONG* hEvent) = 0;
  virtual HRESULT STDMETHODCALLTYPE DisconnectFromServer() = 0;
  virtual HRESULT STDMETHODCALLTYPE ConfigureServerA(BSTR IPAddr, LONG PortId) = 0;
  virtual HRESULT STDMETHODCALLTYPE DialDigitsA(LONG lSALNum, BSTR bstrDigits) = 0;
  virtual HRESULT STDMETHODCALLTYPE RegisterA(BSTR PhoneExt, BSTR Passward) = 0;
  virtual HRESULT STDMETHODCALLTYPE Hold(LONG lSALNum) = 0;
  virtual HRESULT STDMETHODCALLTYPE Unhold(LONG lSALNum) = 0;
  virtual HRESULT STDMETHODCALLTYPE Park(LONG lSALNum, BSTR bstrDigits) = 0;
  virtual HRESULT STDMETHODCALLTYPE UnPark(LONG lSALNum, BSTR bstrDigits) = 0;
  virtual HRESULT STDMETHODCALLTYPE QueryCurrentConfig(BSTR* bstrIPAddr, LONG* lPortId) = 0;
  virtual HRESULT STDMETHODCALLTYPE QueryCurrentConfigA(BSTR* bstrIPAddr, LONG* lPortId) = 0;
  virtual HRESULT STDMETHODCALLTYPE ResetPhoneMessage() = 0;
  virtual HRESULT STDMETHODCALLTYPE SetPhoneOperation(CvnPhoneOperationE op) = 0;
  virtual HRESULT STDMETHODCALLTYPE ClearPhoneOperation(CvnPhoneOperationE op) = 0;
  virtual HRESULT STDMETHODCALLTYPE IsPhoneOperationSet(CvnPhoneOperationE op, LONG* bRetVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE SendPhoneMessage() = 0;
  virtual HRESULT STDMETHODCALLTYPE Pickup(LONG lSALNum, BSTR bstrDigits, LONG lDirectedPickup) = 0;

 protected:
  ~ICvnEndPoint() = default;
};

// IMsgEvent: the endpoint's outgoing dispinterface (IDispatch only; connect a sink through the
// endpoint's IConnectionPointContainer). Its one method:
//   DISPID 1  CvnNotification([in] IMsgInterpreter** ppIMsgInt)
// fired in posting mode for every retrieved message, with one argument of type
// VT_BYREF | VT_DISPATCH pointing at the interpreter pointer. Each sink is given its own
// reference, which it releases (or keeps) when it is done.
inline constexpr DISPID DISPID_CvnNotification = 1;
