#include "platform/file_lock.h"

#include <map>
#include <mutex>
#include <new>

namespace platform {
namespace {

// The system locks this process holds, by path; each entry lives while a
// FileLock of that path does.
std::mutex g_mutex;
std::map<std::u16string, std::weak_ptr<FileLock>>& HeldLocks() {
  static auto* held = new std::map<std::u16string, std::weak_ptr<FileLock>>();
  return *held;
}

// One holder's share of a system lock.
class SharedFileLock final : public FileLock {
 public:
  explicit SharedFileLock(std::shared_ptr<FileLock> system)
      : system_(std::move(system)) {}

 private:
  std::shared_ptr<FileLock> system_;
};

}  // namespace

HRESULT FileLock::Acquire(const std::u16string& path, int wait_ms,
                          std::unique_ptr<FileLock>* lock) {
  lock->reset();
  std::shared_ptr<FileLock> system;
  {
    std::lock_guard<std::mutex> guard(g_mutex);
    system = HeldLocks()[path].lock();
  }
  if (!system) {
    std::unique_ptr<FileLock> taken;
    const HRESULT hr = AcquireSystemFileLock(path, wait_ms, &taken);
    if (FAILED(hr)) return hr;
    system = std::shared_ptr<FileLock>(std::move(taken));
    std::lock_guard<std::mutex> guard(g_mutex);
    HeldLocks()[path] = system;
  }
  lock->reset(new (std::nothrow) SharedFileLock(std::move(system)));
  return *lock ? S_OK : E_OUTOFMEMORY;
}

}  // namespace platform
