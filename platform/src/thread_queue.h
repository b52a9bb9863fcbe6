// Internal links between the thread message queues and the WH_GETMESSAGE hooks.
// All functions may be called from any thread.
#pragma once

#include "plat/messages.h"

namespace plat {

// Gives the calling thread its queue if it has none yet.
void EnsureCurrentThreadQueue();

// Whether thread `thread_id` has a queue now.
bool ThreadHasQueue(DWORD thread_id);

// Runs the calling thread's WH_GETMESSAGE hooks for a message about to be returned; `remove` is
// PM_REMOVE or PM_NOREMOVE. The hooks may change *msg.
void RunGetMessageHooks(MSG* msg, UINT remove);

// Forgets the hooks of a thread whose queue has ended.
void DropThreadHooks(DWORD thread_id);

}  // namespace plat
