// The commands that create, connect, register and tear down the endpoint, configure the
// server, switch the trace and print the help.
#include <cstdio>

#include "CvnDebugArgCheck.h"
#include "CvnDebugCommands.h"
#include "CvnDebugConsole.h"
#include "CvnDebugMsgThread.h"
#include "CvnDebugSession.h"
#include "CvnDebugState.h"
#include "plat/com.h"

namespace {

void PrintLine(const char* pszText) {
  std::printf("%s\n", pszText);
  std::fflush(stdout);
}

// Prints pszText and ends the process when hr is a failure.
void FatalIfFailed(HRESULT hr, const char* pszText) {
  if (SUCCEEDED(hr)) return;
  PrintLine(pszText);
  ExitFatal();
}

}  // namespace

void CreateObjStep() {
  if (!g_spIEndPoint.IsNull()) {
    PrintLine("ERROR: g_spIEndPoint is not NULL");
    return;
  }
  void* pv = nullptr;
  const HRESULT hr =
      CoCreateInstance(CLSID_CvnEndPoint, nullptr, CLSCTX_INPROC_SERVER, IID_ICvnEndPoint, &pv);
  FatalIfFailed(hr, "Failed at CoCreateInstance()");
  g_spIEndPoint.Set(CvnComPtr<ICvnEndPoint>::Attach(static_cast<ICvnEndPoint*>(pv)));
}

void ConnectStep() {
  if (CvnComPtr<ICvnEndPoint> spEndPoint = GetEndPointOrReport()) {
    // The endpoint signals this very event for every waiting message.
    LONG lEvent = static_cast<LONG>(reinterpret_cast<LONG_PTR>(g_hMsgEvent));
    if (FAILED(spEndPoint->ConnectToServer(&lEvent))) {
      PrintLine("Failed at g_spIEndPoint->ConnectToServer()");
      PrintLine("Unable to connect to Call Control Manager!");
      ExitFatal();
    }
  }
  if (g_hMsgThread == nullptr) SpawnMsgHandlerThread();
  ResumeMsgHandlerThread();
}

void RegisterStep() {
  if (CvnComPtr<ICvnEndPoint> spEndPoint = GetEndPointOrReport()) {
    CvnBstr bstrExtension = MakeNarrowBstr(g_szExtension);
    CvnBstr bstrPassword = MakeNarrowBstr("TRGX");
    FatalIfFailed(spEndPoint->RegisterA(bstrExtension.get(), bstrPassword.get()),
                  "Failed at g_spIEndPoint->Register()");
  }
  // Ask for the phone owner's name; the message handler thread prints the answer.
  if (CvnComPtr<ICvnEndPoint> spEndPoint = GetEndPointOrReport()) {
    FatalIfFailed(spEndPoint->ResetPhoneMessage(), "Failed at g_spIEndPoint->ResetPhoneMessage()");
    FatalIfFailed(spEndPoint->SetPhoneOperation(eCvnOwnerName),
                  "Failed at g_spIEndPoint->SetPhoneOperation()");
    FatalIfFailed(spEndPoint->SendPhoneMessage(), "Failed at g_spIEndPoint->SendPhoneMessage()");
  }
}

void UnregisterStep() {
  if (CvnComPtr<ICvnEndPoint> spEndPoint = GetEndPointOrReport()) {
    FatalIfFailed(spEndPoint->Unregister(), "Failed at g_spIEndPoint->Unregister()");
  }
}

void DisconnectStep() {
  if (CvnComPtr<ICvnEndPoint> spEndPoint = GetEndPointOrReport()) {
    FatalIfFailed(spEndPoint->DisconnectFromServer(),
                  "Failed at g_spIEndPoint->DisconnectFromServer()");
  }
}

void DestroyObjStep() {
  if (!GetEndPointOrReport()) return;
  g_spIEndPoint.Take();
}

void AutoStart() {
  CreateObjStep();
  ConnectStep();
  RegisterStep();
}

void AutoStop() {
  if (!GetEndPointOrReport()) return;
  UnregisterStep();
  Sleep(500);
  SuspendMsgHandlerThread();
  DisconnectStep();
  Sleep(2000);
  DestroyObjStep();
}

void CmdCreateObj(ArgList&) { CreateObjStep(); }
void CmdConnect(ArgList&) { ConnectStep(); }
void CmdRegister(ArgList&) { RegisterStep(); }
void CmdUnregister(ArgList&) { UnregisterStep(); }

void CmdDisconnect(ArgList&) {
  SuspendMsgHandlerThread();
  DisconnectStep();
}

void CmdDestroyObj(ArgList&) { DestroyObjStep(); }
void CmdAutoStart(ArgList&) { AutoStart(); }
void CmdAutoStop(ArgList&) { AutoStop(); }
void CmdHelp(ArgList&) { PrintHelp(); }

void CmdTrace(ArgList&) {
  const bool bTrace = !g_bTrace.load();
  g_bTrace = bTrace;
  PrintLocked("Trace is %s\n", bTrace ? "ON" : "OFF");
}

void CmdConfig(ArgList& args) {
  const char* pszAddress = nullptr;
  int nPort = 0;
  if (args.Count() != 2 || !args.GetInt(1, nPort)) {
    PrintUsage("ERROR: usage: config <Server IP> <PortId>");
    return;
  }
  args.GetString(0, pszAddress);
  CvnComPtr<ICvnEndPoint> spEndPoint = GetEndPointOrReport();
  if (!spEndPoint) return;
  PrintLocked("Configuring server IP Addr and Port Id...\n");
  CvnBstr bstrAddress = MakeNarrowBstr(pszAddress);
  if (FAILED(spEndPoint->ConfigureServerA(bstrAddress.get(), nPort))) {
    PrintLine("Failed to config server");
  } else {
    PrintLine("Restart to read new configuration information!");
  }
}
