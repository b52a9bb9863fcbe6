#include "CvnDebugMsgPrint.h"

#include <cstdio>
#include <string>

#include "CvnDebugAutoTest.h"
#include "CvnDebugConsole.h"
#include "CvnDebugState.h"

namespace {

const char* StatusText(LONG lStatus) { return lStatus != 0 ? "FAILED" : "SUCCESS"; }

const char* AdminTypeText(LONG lType) {
  switch (lType) {
    case eRegisterReply:
      return "++++ eRegisterReply ";
    case eUnregisterReply:
      return "++++ eUnregisterReply ";
    case eShutdown:
      return "++++ eShutdown ";
    default:
      return "++++ Unknown Msg Type ";
  }
}

// The call-status types that are printed in full; null for the others.
const char* CallStatusTypeText(LONG lType) {
  switch (lType) {
    case eOffhookReply:
      return "++++ eOffhookReply ";
    case eAnswerReply:
      return "++++ eAnswerReply ";
    case eOnhookReply:
      return "++++ eOnhookReply ";
    case eTransferReply:
      return "++++ eTransferReply ";
    case eTransferEndReply:
      return "++++ eTransferEndReply ";
    case eConferenceReply:
      return "++++ eConferenceReply ";
    case eAddToConfReply:
      return "++++ eAddToConfReply ";
    case eHoldReply:
      return "++++ eHoldReply ";
    case eUnholdReply:
      return "++++ eUnholdReply ";
    case eParkReply:
      return "++++ eParkReply ";
    case eUnparkReply:
      return "++++ eUnparkReply ";
    case eNewCall:
      return "++++ eNewCall ";
    case eRingBack:
      return "++++ eRingBack ";
    case eConnected:
      return "++++ eConnected ";
    case eBusy:
      return "++++ eBusy ";
    case eOnhookLocal:
      return "++++ eOnhookLocal ";
    case eOnhookRemote:
      return "++++ eOnhookRemote ";
    case eStopDialtone:
      return "++++ eStopDialtone ";
    case ePickupGroup:
      return "++++ ePickupGroup ";
    case ePickupDirected:
      return "++++ ePickupDirected ";
    default:
      return nullptr;
  }
}

// A narrow-text getter's result, owned; empty when the getter fails.
template <class Getter>
CvnBstr GetNarrow(Getter getter) {
  BSTR bstr = nullptr;
  if (FAILED(getter(&bstr))) return CvnBstr();
  return CvnBstr(bstr);
}

void PrintAdministrative(IMsgInterpreter* pMsg, LONG lType) {
  LONG lStatus = -1;
  pMsg->GetStatus(&lStatus);
  PrintLocked("==== eAdministrativeMsg %s<<<< Status %s", AdminTypeText(lType),
              StatusText(lStatus));
}

// The caller holds g_ConsoleLock.
void PrintPhoneConfigReply(IMsgInterpreter* pMsg) {
  std::printf("==== ePhoneConfigReplyMsg ");
  LONG bSet = 0;
  if (SUCCEEDED(pMsg->IsPhoneOperationSet(eCvnOwnerName, &bSet)) && bSet != 0) {
    BSTR bstrName = nullptr;
    if (SUCCEEDED(pMsg->GetPhoneOwnerNameA(&bstrName))) {
      CvnBstr holder(bstrName);
      std::printf("<<<< Name %s\n", NarrowText(bstrName));
    }
  }
  std::fflush(stdout);
}

void RunAutoReaction(ICvnEndPoint* pEndPoint, LONG lType, LONG lSAL1, LONG lReqId) {
  switch (lType) {
    case eOffhookReply:
      AutoDialOnOffhookReply(pEndPoint, lSAL1, lReqId);
      break;
    case eOnhookReply:
      AutoDialOnOnhookReply(pEndPoint);
      break;
    case eNewCall:
      AutoAnswerOnNewCall(pEndPoint, lSAL1);
      break;
    case eConnected:
      AutoAnswerOnConnected(pEndPoint, lSAL1);
      break;
    default:
      break;
  }
}

// Everything after the category line of a call-status message; printed without the lock.
void PrintCallStatus(ICvnEndPoint* pEndPoint, IMsgInterpreter* pMsg, LONG lCategory, LONG lType) {
  LONG lLength = 0, lRevision = 0, lCookie = 0, lSAL1 = 0, lSAL2 = 0, lReqId = 0, lStatus = -1;
  pMsg->GetMsgLength(&lLength);
  pMsg->GetMsgRevision(&lRevision);
  const CvnBstr bstrExtension = GetNarrow([&](BSTR* p) { return pMsg->GetUserExtensionA(p); });
  pMsg->GetSecurityCookie(&lCookie);
  pMsg->GetFirstLineNum(&lSAL1);
  pMsg->GetSecondLineNum(&lSAL2);
  const CvnBstr bstrAddress = GetNarrow([&](BSTR* p) { return pMsg->GetFirstAddrA(p); });
  const CvnBstr bstrName = GetNarrow([&](BSTR* p) { return pMsg->GetCallerNameA(p); });
  pMsg->GetRequestId(&lReqId);
  pMsg->GetStatus(&lStatus);
  const CvnBstr bstrDialed = GetNarrow([&](BSTR* p) { return pMsg->GetDialedNumA(p); });

  const char* pszType = CallStatusTypeText(lType);
  if (pszType == nullptr) {
    std::printf("++++ Unknown Msg Type ");
    std::fflush(stdout);
    return;
  }
  std::printf("%s", pszType);
  RunAutoReaction(pEndPoint, lType, lSAL1, lReqId);
  std::printf("<<<< Status %s\n", StatusText(lStatus));

  const auto hex = [](LONG l) { return static_cast<unsigned>(l); };
  std::printf("\n%s\n", std::string(47, '=').c_str());
  std::printf(" Len: %x Cat: %x Type: %x Rev: %x Cookie: %x\n", hex(lLength), hex(lCategory),
              hex(lType), hex(lRevision), hex(lCookie));
  std::printf(" SAL1: %x SAL2: %x Addr: %s Name: %s\n", hex(lSAL1), hex(lSAL2),
              NarrowText(bstrAddress.get()), NarrowText(bstrName.get()));
  std::printf(" Ext: %s ReqId: %x Stat: %x\n", NarrowText(bstrExtension.get()), hex(lReqId),
              hex(lStatus));
  std::printf(" Dialed Num: %s\n", NarrowText(bstrDialed.get()));
  std::fflush(stdout);
}

}  // namespace

void HandleOneMessage() {
  // Without an endpoint (released while a signal was pending) there is nothing to retrieve.
  const CvnComPtr<ICvnEndPoint> spEndPoint = g_spIEndPoint.Get();
  if (!spEndPoint) return;
  IMsgInterpreter* pRaw = nullptr;
  if (FAILED(spEndPoint->RetrieveMsg(&pRaw))) {
    PrintLocked("\nFailed at g_spIEndPoint->RetrieveMsg()\n");
    return;
  }
  const CvnComPtr<IMsgInterpreter> spMsg = CvnComPtr<IMsgInterpreter>::Attach(pRaw);

  PrintLocked("\n\n");
  if (g_bTrace) {
    const CvnBstr bstrDump = GetNarrow([&](BSTR* p) { return spMsg->DumpA(p); });
    if (bstrDump) PrintLocked("%s", NarrowText(bstrDump.get()));
  }
  LONG lCategory = 0;
  if (FAILED(spMsg->GetMsgCategory(&lCategory))) {
    PrintLocked("==== Unknown message category\n");
    return;
  }
  LONG lType = 0;
  if (FAILED(spMsg->GetMsgType(&lType))) {
    PrintLocked("\nFailed at pIMsgInt->GetMsgType()!!!!!\n");
    return;
  }
  if (lCategory == eCallStatusMsg) {
    PrintLocked("==== eCallStatusMsg ");
    PrintCallStatus(spEndPoint.Get(), spMsg.Get(), lCategory, lType);
    return;
  }
  // The category line and its end are printed under one hold of the lock, so that the prompt
  // never lands inside the line.
  KivLockGuard lock(g_ConsoleLock);
  switch (lCategory) {
    case eAdministrativeMsg:
      PrintAdministrative(spMsg.Get(), lType);
      break;
    case ePhoneConfigReplyMsg:
      PrintPhoneConfigReply(spMsg.Get());
      break;
    default:
      PrintLocked("==== Unknown message category");
      break;
  }
  PrintLocked("\n");
}
