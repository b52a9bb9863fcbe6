// MsgInterpreter: the COM class that wraps one received message and answers questions about it
// (type, category, header fields, the fields of its category's record, a hex dump). It owns the
// message buffer given to SetMsgBody and frees it. It reads only within the message's Length.
// Used by one client thread at a time; no locks, no shared state.
#pragma once

#include <atomic>

#include "CCMView.h"
#include "Corvane.h"

class MsgInterpreter final : public IMsgInterpreter {
 public:
  // A new, empty interpreter answering riid (the class factory's CreateInstance).
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

  // IMsgInterpreter
  STDMETHODIMP GetMsgType(LONG* lMsgType) override;
  STDMETHODIMP GetMsgCategory(LONG* lMsgCat) override;
  STDMETHODIMP GetUserExtension(BSTR* bstrUserExt) override;
  STDMETHODIMP GetStatus(LONG* lRetVal) override;
  STDMETHODIMP GetFirstLineNum(LONG* lFirstLine) override;
  STDMETHODIMP GetSecondLineNum(LONG* lSecondLine) override;
  STDMETHODIMP GetFirstAddr(BSTR* bstrAddr) override;
  STDMETHODIMP GetCallerName(BSTR* bstrName) override;
  STDMETHODIMP GetCallReason(LONG* lReason) override;
  STDMETHODIMP GetDTMFDigit(LONG* lDigit) override;
  STDMETHODIMP SetMsgBody(unsigned char* buffer) override;
  STDMETHODIMP DumpA(BSTR* buffer) override;
  STDMETHODIMP GetMsgLength(LONG* len) override;
  STDMETHODIMP GetMsgRevision(LONG* rev) override;
  STDMETHODIMP GetSecurityCookie(LONG* cookie) override;
  STDMETHODIMP GetRequestId(LONG* ReqId) override;
  STDMETHODIMP GetUserExtensionA(BSTR* bstrUserExt) override;
  STDMETHODIMP GetCallerNameA(BSTR* bstrName) override;
  STDMETHODIMP GetFirstAddrA(BSTR* bstrAddr) override;
  STDMETHODIMP IsPhoneOperationSet(CvnPhoneOperationE op, LONG* bRetVal) override;
  STDMETHODIMP GetPhoneOwnerNameA(BSTR* bstrName) override;
  STDMETHODIMP GetPhoneOwnerName(BSTR* bstrName) override;
  STDMETHODIMP GetDialedNum(BSTR* bstrName) override;
  STDMETHODIMP GetDialedNumA(BSTR* bstrName) override;

 private:
  MsgInterpreter();
  ~MsgInterpreter();

  // The message, read within its Length (empty before SetMsgBody).
  CCMView View() const;
  // True when the message's category (through GetMsgCategory) is lCategory.
  bool IsCategory(LONG lCategory);
  // A word field of a message of lCategory.
  HRESULT GetWord(LONG lCategory, const CCMWordField& field, LONG* plValue);
  // A text field as narrow text; lCategory 0 for every message.
  HRESULT GetNarrowText(LONG lCategory, const CCMTextField& field, BSTR* pbstrText);
  // The wide form of what a narrow getter returns.
  HRESULT Widen(HRESULT (STDMETHODCALLTYPE IMsgInterpreter::*pfnNarrow)(BSTR*), BSTR* pbstrWide);

  std::atomic<ULONG> m_cRef{1};
  BYTE* m_pMsgBody = nullptr;
};
