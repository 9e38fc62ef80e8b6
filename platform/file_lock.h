// An exclusive lock on a file, held across processes: the agent holds one on
// its data directory while it runs, so that two processes never load the
// same index and overwrite each other's changes when they save. The lock
// goes with the object, or with the process if it dies.
#pragma once

#include <memory>
#include <string>

#include "platform/com_base.h"

namespace platform {

class FileLock {
 public:
  // Locks `path` (created when missing), waiting up to `wait_ms` for another
  // holder to let go. S_OK with *lock set; or
  // HRESULT_FROM_WIN32(ERROR_LOCK_VIOLATION) when the wait ran out, or the
  // system's error opening the file.
  static HRESULT Acquire(const std::u16string& path, int wait_ms,
                         std::unique_ptr<FileLock>* lock);
  virtual ~FileLock() = default;

 protected:
  FileLock() = default;
};

// HRESULT_FROM_WIN32(ERROR_LOCK_VIOLATION).
inline constexpr HRESULT kLockHeldElsewhere = static_cast<HRESULT>(0x80070021u);

}  // namespace platform
