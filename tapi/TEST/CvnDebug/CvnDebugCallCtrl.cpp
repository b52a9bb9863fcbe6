// The call-control commands: check the arguments, then make one endpoint call. The results
// are ignored; the outcome arrives as a reply that the message handler thread prints.
#include "CvnDebugArgCheck.h"
#include "CvnDebugCommands.h"
#include "CvnDebugConsole.h"
#include "CvnDebugState.h"

namespace {

// Prints what a failed check means; true when the command may go on.
bool ReportCheck(ArgCheck check, const char* pszUsage) {
  switch (check) {
    case ArgCheck::kOk:
      return true;
    case ArgCheck::kUsage:
      PrintUsage(pszUsage);
      return false;
    case ArgCheck::kBadLine:
      PrintUsage("Invalid line number!");
      return false;
  }
  return false;
}

// Runs call(endpoint, value) when the check passed and an endpoint exists.
template <class Call>
void CallIfChecked(ArgCheck check, const char* pszUsage, LONG lValue, Call call) {
  if (!ReportCheck(check, pszUsage)) return;
  if (CvnComPtr<ICvnEndPoint> spEndPoint = GetEndPointOrReport()) call(spEndPoint.Get(), lValue);
}

// [line] commands.
template <class Call>
void OnLine(ArgList& args, const char* pszUsage, Call call) {
  LONG lSAL = 0;
  const ArgCheck check = GetOptionalLine(args, lSAL);
  CallIfChecked(check, pszUsage, lSAL, call);
}

// [request id] commands.
template <class Call>
void OnReqId(ArgList& args, const char* pszUsage, Call call) {
  LONG lReqId = 0;
  const ArgCheck check = GetOptionalReqId(args, g_lDefaultReqId, lReqId);
  CallIfChecked(check, pszUsage, lReqId, call);
}

// line text commands; the text goes as a narrow BSTR.
template <class Call>
void OnLineText(ArgList& args, const char* pszUsage, Call call) {
  LONG lSAL = 0;
  const char* pszText = nullptr;
  const ArgCheck check = GetLineAndText(args, lSAL, pszText);
  CallIfChecked(check, pszUsage, lSAL, [&](ICvnEndPoint* p, LONG lLine) {
    CvnBstr bstrText = MakeNarrowBstr(pszText);
    call(p, lLine, bstrText.get());
  });
}

}  // namespace

void CmdOffhook(ArgList& args) {
  OnReqId(args, "ERROR: usage: offhook [<ReqId>]",
          [](ICvnEndPoint* p, LONG l) { p->Offhook(0, l); });
}
void CmdTransfer(ArgList& args) {
  OnReqId(args, "ERROR: usage: xfer [<ReqId>]", [](ICvnEndPoint* p, LONG l) { p->Transfer(l); });
}
void CmdConference(ArgList& args) {
  OnReqId(args, "ERROR: usage: conf [<ReqId>]", [](ICvnEndPoint* p, LONG l) { p->Conference(l); });
}

void CmdAnswer(ArgList& args) {
  OnLine(args, "ERROR: usage: Answer [<Line>]", [](ICvnEndPoint* p, LONG l) { p->Answer(l); });
}
void CmdOnhook(ArgList& args) {
  OnLine(args, "ERROR: usage: Hangup [<Line>]", [](ICvnEndPoint* p, LONG l) { p->Onhook(l); });
}
void CmdTransferEnd(ArgList& args) {
  OnLine(args, "ERROR: usage: xferend [<Line>]",
         [](ICvnEndPoint* p, LONG l) { p->TransferEnd(l); });
}
void CmdConferenceEnd(ArgList& args) {
  OnLine(args, "ERROR: usage: confend [<Line>]", [](ICvnEndPoint* p, LONG l) { p->AddToConf(l); });
}
void CmdHold(ArgList& args) {
  OnLine(args, "ERROR: usage: Hold [<Line>]", [](ICvnEndPoint* p, LONG l) { p->Hold(l); });
}
void CmdUnhold(ArgList& args) {
  OnLine(args, "ERROR: usage: Unhold [<Line>]", [](ICvnEndPoint* p, LONG l) { p->Unhold(l); });
}

void CmdDial(ArgList& args) {
  OnLineText(args, "ERROR: usage: Dial <Line> <Addr>",
             [](ICvnEndPoint* p, LONG l, BSTR bstr) { p->DialDigitsA(l, bstr); });
}
void CmdPark(ArgList& args) {
  OnLineText(args, "ERROR: usage: park <Line> <Addr>",
             [](ICvnEndPoint* p, LONG l, BSTR bstr) { p->Park(l, bstr); });
}
void CmdUnpark(ArgList& args) {
  OnLineText(args, "ERROR: usage: unpark <Line> <Addr>",
             [](ICvnEndPoint* p, LONG l, BSTR bstr) { p->UnPark(l, bstr); });
}
void CmdPickupGroup(ArgList& args) {
  OnLineText(args, "ERROR: usage: pickupgrp <line> <grpid>",
             [](ICvnEndPoint* p, LONG l, BSTR bstr) { p->Pickup(l, bstr, 0); });
}
void CmdPickupDirected(ArgList& args) {
  OnLineText(args, "ERROR: usage: pickupdir <line> <ext>",
             [](ICvnEndPoint* p, LONG l, BSTR bstr) { p->Pickup(l, bstr, 1); });
}
