#include "registry_handles.h"

#include <mutex>
#include <unordered_map>

namespace plat::reg {
namespace {

class HandleTable {
 public:
  HKEY Add(KeyRef ref) {
    std::lock_guard<std::mutex> lock(mutex_);
    // Values are never reused, so a stale handle cannot reach a newer key; they stay well
    // below the predefined keys (0x80000000 and up).
    next_ += 4;
    keys_.emplace(next_, std::move(ref));
    return reinterpret_cast<HKEY>(next_);
  }
  bool Find(HKEY key, KeyRef* ref) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = keys_.find(reinterpret_cast<ULONG_PTR>(key));
    if (it == keys_.end()) return false;
    *ref = it->second;
    return true;
  }
  bool Remove(HKEY key) {
    std::lock_guard<std::mutex> lock(mutex_);
    return keys_.erase(reinterpret_cast<ULONG_PTR>(key)) > 0;
  }

 private:
  // State below is protected by mutex_.
  std::mutex mutex_;
  ULONG_PTR next_ = 0x10000;
  std::unordered_map<ULONG_PTR, KeyRef> keys_;
};

HandleTable& Table() {
  static HandleTable table;
  return table;
}

}  // namespace

bool ResolveKey(HKEY key, KeyRef* ref) {
  if (key == HKEY_LOCAL_MACHINE) {
    *ref = KeyRef{{}, KEY_ALL_ACCESS, true};
    return true;
  }
  if (key == HKEY_CLASSES_ROOT) {
    *ref = KeyRef{{"Software", "Classes"}, KEY_ALL_ACCESS, true};
    return true;
  }
  return Table().Find(key, ref);
}

HKEY OpenKeyHandle(KeyRef ref) { return Table().Add(std::move(ref)); }

bool CloseKeyHandle(HKEY key) {
  if (key == HKEY_LOCAL_MACHINE || key == HKEY_CLASSES_ROOT) return true;
  return Table().Remove(key);
}

}  // namespace plat::reg
