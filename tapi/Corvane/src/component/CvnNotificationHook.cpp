#include "CvnNotificationHook.h"

#include <atomic>

#include "CvnEndPoint.h"
#include "plat/sync.h"

namespace {

// The one hook of the process (installed and removed under the endpoint class lock).
std::atomic<HHOOK> g_hNotificationHook{nullptr};

LRESULT CALLBACK CvnGetMsgProc(int nCode, WPARAM wParam, LPARAM lParam) {
  // Taken first: the notification may release the last endpoint, which removes the hook; the
  // message is still passed on along the chain it started in.
  const HHOOK hHook = g_hNotificationHook.load();
  if (nCode >= 0 && wParam == PM_REMOVE) {
    const MSG* pMsg = reinterpret_cast<const MSG*>(lParam);
    if (pMsg->message == CVN_NOTIFY_MSG && pMsg->wParam == CVN_NOTIFY_MARKER) {
      CvnEndPoint::OnPostedNotification(pMsg->lParam);
    }
  }
  return CallNextHookEx(hHook, nCode, wParam, lParam);
}

}  // namespace

HHOOK CvnInstallNotificationHook() {
  const HHOOK hHook =
      SetWindowsHookEx(WH_GETMESSAGE, &CvnGetMsgProc, nullptr, GetCurrentThreadId());
  g_hNotificationHook.store(hHook);
  return hHook;
}

void CvnRemoveNotificationHook(HHOOK hHook) {
  if (hHook != nullptr) {
    UnhookWindowsHookEx(hHook);
  }
  g_hNotificationHook.store(nullptr);
}
