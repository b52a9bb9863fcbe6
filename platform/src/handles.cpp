#include "handles.h"

#include <unordered_map>
#include <utility>

#include "thread_object.h"

namespace plat {
namespace {

struct HandleTable {
  std::mutex mutex;
  std::condition_variable changed;
  // State below is guarded by mutex.
  std::unordered_map<std::uintptr_t, std::shared_ptr<KernelObject>> objects;
  std::uintptr_t next = 0x100;  // never reused, so a stale handle never names a new object
};

// Made once and never destroyed: threads may still use it while the process exits.
HandleTable& Table() {
  static HandleTable* table = new HandleTable;
  return *table;
}

}  // namespace

std::mutex& KernelMutex() { return Table().mutex; }
std::condition_variable& KernelChanged() { return Table().changed; }

HANDLE InsertHandle(std::shared_ptr<KernelObject> object) {
  HandleTable& table = Table();
  std::lock_guard lock(table.mutex);
  const std::uintptr_t value = table.next;
  table.next += 4;
  table.objects.emplace(value, std::move(object));
  return reinterpret_cast<HANDLE>(value);  // NOLINT(performance-no-int-to-ptr): handles are numbers
}

std::shared_ptr<KernelObject> LookupHandleLocked(HANDLE handle) {
  if (handle == CurrentThreadPseudoHandle()) return CurrentThreadObject();
  const auto& objects = Table().objects;
  auto it = objects.find(reinterpret_cast<std::uintptr_t>(handle));
  return it == objects.end() ? nullptr : it->second;
}

std::shared_ptr<KernelObject> LookupHandle(HANDLE handle) {
  if (handle == CurrentThreadPseudoHandle()) return CurrentThreadObject();
  std::lock_guard lock(KernelMutex());
  return LookupHandleLocked(handle);
}

}  // namespace plat

extern "C" BOOL CloseHandle(HANDLE hObject) {
  if (hObject == plat::CurrentThreadPseudoHandle()) return TRUE;
  std::shared_ptr<plat::KernelObject> released;  // dropped after the lock is let go
  {
    plat::HandleTable& table = plat::Table();
    std::lock_guard lock(table.mutex);
    auto it = table.objects.find(reinterpret_cast<std::uintptr_t>(hObject));
    if (it == table.objects.end()) {
      SetLastError(static_cast<DWORD>(ERROR_INVALID_HANDLE));
      return FALSE;
    }
    released = std::move(it->second);
    table.objects.erase(it);
  }
  return TRUE;
}
