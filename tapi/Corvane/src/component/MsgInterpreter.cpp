#include "MsgInterpreter.h"

#include <cstdio>
#include <string>

#include "CCMPR.h"
#include "CvnDispatch.h"
#include "CvnModule.h"
#include "CvnText.h"
#include "MsgCatalogue.h"
#include "plat/oleauto.h"

namespace {

// Bytes per row of the dump.
constexpr size_t s_nDumpRow = 20;

// The dispatch table of IMsgInterpreter: identifiers 1-24 in interface order.
constexpr CvnDispMethod s_InterpreterMethods[] = {
    CVN_DISP_METHOD(1, IMsgInterpreter, GetMsgType),
    CVN_DISP_METHOD(2, IMsgInterpreter, GetMsgCategory),
    CVN_DISP_METHOD(3, IMsgInterpreter, GetUserExtension),
    CVN_DISP_METHOD(4, IMsgInterpreter, GetStatus),
    CVN_DISP_METHOD(5, IMsgInterpreter, GetFirstLineNum),
    CVN_DISP_METHOD(6, IMsgInterpreter, GetSecondLineNum),
    CVN_DISP_METHOD(7, IMsgInterpreter, GetFirstAddr),
    CVN_DISP_METHOD(8, IMsgInterpreter, GetCallerName),
    CVN_DISP_METHOD(9, IMsgInterpreter, GetCallReason),
    CVN_DISP_METHOD(10, IMsgInterpreter, GetDTMFDigit),
    CVN_DISP_METHOD(11, IMsgInterpreter, SetMsgBody),
    CVN_DISP_METHOD(12, IMsgInterpreter, DumpA),
    CVN_DISP_METHOD(13, IMsgInterpreter, GetMsgLength),
    CVN_DISP_METHOD(14, IMsgInterpreter, GetMsgRevision),
    CVN_DISP_METHOD(15, IMsgInterpreter, GetSecurityCookie),
    CVN_DISP_METHOD(16, IMsgInterpreter, GetRequestId),
    CVN_DISP_METHOD(17, IMsgInterpreter, GetUserExtensionA),
    CVN_DISP_METHOD(18, IMsgInterpreter, GetCallerNameA),
    CVN_DISP_METHOD(19, IMsgInterpreter, GetFirstAddrA),
    CVN_DISP_METHOD(20, IMsgInterpreter, IsPhoneOperationSet),
    CVN_DISP_METHOD(21, IMsgInterpreter, GetPhoneOwnerNameA),
    CVN_DISP_METHOD(22, IMsgInterpreter, GetPhoneOwnerName),
    CVN_DISP_METHOD(23, IMsgInterpreter, GetDialedNum),
    CVN_DISP_METHOD(24, IMsgInterpreter, GetDialedNumA),
};

}  // namespace

HRESULT MsgInterpreter::CreateInstance(REFIID riid, void** ppv) {
  MsgInterpreter* pInterpreter = new (std::nothrow) MsgInterpreter();
  if (pInterpreter == nullptr) {
    return E_OUTOFMEMORY;
  }
  const HRESULT hr = pInterpreter->QueryInterface(riid, ppv);
  pInterpreter->Release();
  return hr;
}

MsgInterpreter::MsgInterpreter() { CvnModule::Lock(); }

MsgInterpreter::~MsgInterpreter() {
  delete[] m_pMsgBody;
  CvnModule::Unlock();
}

STDMETHODIMP MsgInterpreter::QueryInterface(REFIID riid, void** ppvObject) {
  if (ppvObject == nullptr) {
    return E_POINTER;
  }
  if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IMsgInterpreter) {
    *ppvObject = static_cast<IMsgInterpreter*>(this);
    AddRef();
    return S_OK;
  }
  // The control and view interfaces of a visual control have no container here.
  *ppvObject = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) MsgInterpreter::AddRef() { return ++m_cRef; }

STDMETHODIMP_(ULONG) MsgInterpreter::Release() {
  const ULONG cRef = --m_cRef;
  if (cRef == 0) {
    delete this;
  }
  return cRef;
}

STDMETHODIMP MsgInterpreter::GetTypeInfoCount(UINT* pctinfo) {
  if (pctinfo == nullptr) {
    return E_POINTER;
  }
  *pctinfo = 0;
  return S_OK;
}

STDMETHODIMP MsgInterpreter::GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) {
  if (ppTInfo != nullptr) {
    *ppTInfo = nullptr;
  }
  return E_NOTIMPL;
}

STDMETHODIMP MsgInterpreter::GetIDsOfNames(REFIID, LPOLESTR* rgszNames, UINT cNames, LCID,
                                           DISPID* rgDispId) {
  return CvnDispGetIDsOfNames(s_InterpreterMethods, rgszNames, cNames, rgDispId);
}

STDMETHODIMP MsgInterpreter::Invoke(DISPID dispIdMember, REFIID, LCID, WORD wFlags,
                                    DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO*,
                                    UINT* puArgErr) {
  return CvnDispInvoke(s_InterpreterMethods, static_cast<IMsgInterpreter*>(this), dispIdMember,
                       wFlags, pDispParams, pVarResult, puArgErr);
}

// ---------------------------------------------------------------------------------------------

CCMView MsgInterpreter::View() const {
  if (m_pMsgBody == nullptr) {
    return CCMView(nullptr, 0);
  }
  // The buffer holds exactly the Length its header states.
  return CCMView(m_pMsgBody, CCMLayout::ReadWord(m_pMsgBody + CCMLayout::Length.m_nOffset));
}

bool MsgInterpreter::IsCategory(LONG lCategory) {
  LONG lMsgCat = 0;
  return SUCCEEDED(GetMsgCategory(&lMsgCat)) && lMsgCat == lCategory;
}

HRESULT MsgInterpreter::GetWord(LONG lCategory, const CCMWordField& field, LONG* plValue) {
  if (plValue == nullptr) {
    return E_POINTER;
  }
  WORD wValue = 0;
  if ((lCategory != 0 && !IsCategory(lCategory)) || !View().GetWord(field, &wValue)) {
    return E_FAIL;
  }
  *plValue = wValue;
  return S_OK;
}

HRESULT MsgInterpreter::GetNarrowText(LONG lCategory, const CCMTextField& field, BSTR* pbstrText) {
  if (pbstrText == nullptr) {
    return E_POINTER;
  }
  std::string strText;
  if ((lCategory != 0 && !IsCategory(lCategory)) || !View().GetText(field, strText)) {
    return E_FAIL;
  }
  *pbstrText = CvnNarrowBstr(strText);
  return S_OK;
}

HRESULT MsgInterpreter::Widen(HRESULT (STDMETHODCALLTYPE IMsgInterpreter::*pfnNarrow)(BSTR*),
                              BSTR* pbstrWide) {
  if (pbstrWide == nullptr) {
    return E_POINTER;
  }
  BSTR bstrNarrow = nullptr;
  const HRESULT hr = (this->*pfnNarrow)(&bstrNarrow);
  if (FAILED(hr)) {
    return hr;
  }
  *pbstrWide =
      CvnWideFromNarrow(reinterpret_cast<const char*>(bstrNarrow), SysStringByteLen(bstrNarrow));
  SysFreeString(bstrNarrow);
  return S_OK;
}

STDMETHODIMP MsgInterpreter::GetMsgType(LONG* lMsgType) {
  if (lMsgType == nullptr) {
    return E_POINTER;
  }
  const CCMView view = View();
  return view.Holds(CCMLayout::Type) ? CvnMsgTypeOf(view.GetType(), lMsgType) : E_FAIL;
}

STDMETHODIMP MsgInterpreter::GetMsgCategory(LONG* lMsgCat) {
  if (lMsgCat == nullptr) {
    return E_POINTER;
  }
  const CCMView view = View();
  return view.Holds(CCMLayout::Type) ? CvnMsgCategoryOf(view.GetType(), lMsgCat) : E_FAIL;
}

STDMETHODIMP MsgInterpreter::GetStatus(LONG* lRetVal) {
  if (lRetVal == nullptr) {
    return E_POINTER;
  }
  LONG lMsgCat = 0;
  const CCMWordField* pStatus = nullptr;
  if (SUCCEEDED(GetMsgCategory(&lMsgCat))) {
    switch (lMsgCat) {
      case eAdministrativeMsg:
        pStatus = &CCMLayout::AD::Status;
        break;
      case eCallStatusMsg:
        pStatus = &CCMLayout::CS::Status;
        break;
      case ePhoneConfigReplyMsg:
        pStatus = &CCMLayout::PR::Status;
        break;
      default:
        break;
    }
  }
  if (pStatus == nullptr || FAILED(GetWord(0, *pStatus, lRetVal))) {
    *lRetVal = -1;
    return E_FAIL;
  }
  return S_OK;
}

STDMETHODIMP MsgInterpreter::GetFirstLineNum(LONG* lFirstLine) {
  return GetWord(eCallStatusMsg, CCMLayout::CS::FirstLineNum, lFirstLine);
}

STDMETHODIMP MsgInterpreter::GetSecondLineNum(LONG* lSecondLine) {
  return GetWord(eCallStatusMsg, CCMLayout::CS::SecondLineNum, lSecondLine);
}

STDMETHODIMP MsgInterpreter::GetCallReason(LONG* lReason) {
  return GetWord(eCallStatusMsg, CCMLayout::CS::CallReason, lReason);
}

STDMETHODIMP MsgInterpreter::GetDTMFDigit(LONG* lDigit) {
  return GetWord(eCallStatusMsg, CCMLayout::CS::DTMFDigit, lDigit);
}

STDMETHODIMP MsgInterpreter::GetMsgLength(LONG* len) { return GetWord(0, CCMLayout::Length, len); }

STDMETHODIMP MsgInterpreter::GetMsgRevision(LONG* rev) {
  return GetWord(0, CCMLayout::Revision, rev);
}

STDMETHODIMP MsgInterpreter::GetSecurityCookie(LONG* cookie) {
  return GetWord(0, CCMLayout::SecurityCookie, cookie);
}

STDMETHODIMP MsgInterpreter::GetRequestId(LONG* ReqId) {
  if (ReqId == nullptr) {
    return E_POINTER;
  }
  DWORD dwRequestId = 0;
  if (!IsCategory(eCallStatusMsg) || !View().GetDword(CCMLayout::CS::RequestId, &dwRequestId)) {
    return E_FAIL;
  }
  *ReqId = static_cast<LONG>(dwRequestId);
  return S_OK;
}

STDMETHODIMP MsgInterpreter::GetUserExtensionA(BSTR* bstrUserExt) {
  return GetNarrowText(0, CCMLayout::Extension, bstrUserExt);
}

STDMETHODIMP MsgInterpreter::GetCallerNameA(BSTR* bstrName) {
  return GetNarrowText(eCallStatusMsg, CCMLayout::CS::CallerName, bstrName);
}

STDMETHODIMP MsgInterpreter::GetFirstAddrA(BSTR* bstrAddr) {
  return GetNarrowText(eCallStatusMsg, CCMLayout::CS::FirstAddr, bstrAddr);
}

STDMETHODIMP MsgInterpreter::GetDialedNumA(BSTR* bstrName) {
  return GetNarrowText(eCallStatusMsg, CCMLayout::CS::DialedNum, bstrName);
}

STDMETHODIMP MsgInterpreter::GetPhoneOwnerNameA(BSTR* bstrName) {
  return GetNarrowText(ePhoneConfigReplyMsg, CCMLayout::PR::OwnerName, bstrName);
}

STDMETHODIMP MsgInterpreter::GetUserExtension(BSTR* bstrUserExt) {
  return Widen(&IMsgInterpreter::GetUserExtensionA, bstrUserExt);
}

STDMETHODIMP MsgInterpreter::GetFirstAddr(BSTR* bstrAddr) {
  return Widen(&IMsgInterpreter::GetFirstAddrA, bstrAddr);
}

STDMETHODIMP MsgInterpreter::GetCallerName(BSTR* bstrName) {
  return Widen(&IMsgInterpreter::GetCallerNameA, bstrName);
}

STDMETHODIMP MsgInterpreter::GetPhoneOwnerName(BSTR* bstrName) {
  return Widen(&IMsgInterpreter::GetPhoneOwnerNameA, bstrName);
}

STDMETHODIMP MsgInterpreter::GetDialedNum(BSTR* bstrName) {
  return Widen(&IMsgInterpreter::GetDialedNumA, bstrName);
}

STDMETHODIMP MsgInterpreter::IsPhoneOperationSet(CvnPhoneOperationE op, LONG* bRetVal) {
  if (bRetVal == nullptr) {
    return E_POINTER;
  }
  *bRetVal = 0;
  const CCMView view = View();
  if (!IsCategory(ePhoneConfigReplyMsg) || !view.Holds(CCMLayout::PR::Operations)) {
    return E_FAIL;
  }
  *bRetVal = static_cast<LONG>(CCMPR::bIsItSet(view, static_cast<DWORD>(op)));
  return S_OK;
}

STDMETHODIMP MsgInterpreter::SetMsgBody(unsigned char* buffer) {
  // A body given again replaces the first one, which would otherwise be lost.
  if (m_pMsgBody != buffer) {
    delete[] m_pMsgBody;
  }
  m_pMsgBody = buffer;
  return S_OK;
}

STDMETHODIMP MsgInterpreter::DumpA(BSTR* buffer) {
  if (buffer == nullptr) {
    return E_POINTER;
  }
  const CCMView view = View();
  if (m_pMsgBody == nullptr) {
    return E_FAIL;
  }
  SysFreeString(*buffer);
  *buffer = nullptr;
  std::string strDump = "CALL STATE MESSAGE DUMP\n";
  char szItem[8];
  for (size_t i = 0; i < s_nDumpRow; ++i) {
    std::snprintf(szItem, sizeof szItem, "%02u ", static_cast<unsigned>(i));
    strDump += szItem;
  }
  strDump += '\n';
  strDump.append(3 * s_nDumpRow, '-');
  strDump += '\n';
  const size_t cbMessage = view.GetReceivedLength();
  for (size_t i = 0; i < cbMessage; ++i) {
    std::snprintf(szItem, sizeof szItem, "%02x ", view.GetData()[i]);
    strDump += szItem;
    if ((i + 1) % s_nDumpRow == 0) {
      strDump += '\n';
    }
  }
  strDump += '\n';
  // The byte length counts the final zero too.
  *buffer = CvnNarrowBstr(strDump.c_str(), strDump.size() + 1);
  return S_OK;
}
