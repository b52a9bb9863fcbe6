// The notification hook of posting mode: a WH_GETMESSAGE hook on the thread of the first endpoint
// of the process. For every notification message that thread removes from its queue, it lets the
// endpoint named in lParam retrieve its oldest message and fire CvnNotification. Installed and
// removed under the endpoint class lock; the hook procedure runs on the hooked thread.
#pragma once

#include "plat/messages.h"

// The message an endpoint posts to its creating thread: WM_APP, wParam the marker, lParam the
// endpoint.
inline constexpr UINT CVN_NOTIFY_MSG = WM_APP;
inline constexpr WPARAM CVN_NOTIFY_MARKER = 0x0043564E;

// The hook for the calling thread; null when it cannot be installed.
HHOOK CvnInstallNotificationHook();
void CvnRemoveNotificationHook(HHOOK hHook);
