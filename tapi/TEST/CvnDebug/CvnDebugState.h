// The debugger's program-wide state: the endpoint, the events and the message handler thread,
// the extension, the mode flags, the automatic test values and the console lock.
// The shell thread writes everything; the message handler thread reads the endpoint through
// g_spIEndPoint (locked), the flags and values (atomic) and the dial extension (g_DialLock).
#pragma once

#include <atomic>
#include <mutex>

#include "Corvane.h"
#include "CvnComHolders.h"
#include "CvnDebugReader.h"
#include "KivLock.h"
#include "plat/sync.h"

// The one endpoint object, or none. Get hands out a counted reference, so a thread that uses
// the endpoint keeps it alive while the shell releases the global one.
class CvnEndPointSlot {
 public:
  CvnComPtr<ICvnEndPoint> Get() const;
  bool IsNull() const;
  void Set(CvnComPtr<ICvnEndPoint> spEndPoint);
  // Empties the slot and returns what it held.
  CvnComPtr<ICvnEndPoint> Take();

 private:
  mutable std::mutex m_Mutex;
  CvnComPtr<ICvnEndPoint> m_spEndPoint;  // guarded by m_Mutex
};

extern CvnEndPointSlot g_spIEndPoint;

// The endpoint, or null after printing "ERROR: g_spIEndPoint is NULL".
CvnComPtr<ICvnEndPoint> GetEndPointOrReport();

extern HANDLE g_hMsgEvent;   // signalled by the endpoint when a message waits
extern HANDLE g_hTermEvent;  // signalled once at shut-down to end the message handler thread
extern HANDLE g_hMsgThread;  // null until the first connect
extern unsigned g_uMsgThreadId;

extern char g_szExtension[kMaxWordLength + 1];
extern bool g_bTestMode;
extern std::atomic<bool> g_bTrace;

// The request id of offhook, transfer and conference typed without one, and of the dial test.
inline constexpr LONG g_lDefaultReqId = static_cast<LONG>(0xF0000000u);

// Automatic tests: never both flags set.
extern std::atomic<bool> g_bAutoDial;
extern std::atomic<bool> g_bAutoAnswer;
extern std::atomic<int> g_lCallCount;
extern std::atomic<int> g_lDialInterval;
extern std::atomic<int> g_lAnswerDuration;
extern std::mutex g_DialLock;
extern BSTR g_bstrDialExtension;  // narrow text; guarded by g_DialLock

// Serialises console output between the shell and the message handler thread.
extern KivLock g_ConsoleLock;
