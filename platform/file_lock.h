// An exclusive lock on a file, held across processes: the agent holds one on
// its data directory while it runs, so that two processes never load the
// same index and overwrite each other's changes when they save. The lock
// goes with the object, or with the process if it dies.
//
// Within one process the lock is shared: a second Acquire of the same path
// (the same string) succeeds at once and the lock is held until the last of
// its objects goes, so that a host and the agent it runs can both hold it.
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

// The system's lock on `path`, per platform; FileLock::Acquire shares it
// within the process.
HRESULT AcquireSystemFileLock(const std::u16string& path, int wait_ms,
                              std::unique_ptr<FileLock>* lock);

// HRESULT_FROM_WIN32(ERROR_LOCK_VIOLATION).
inline constexpr HRESULT kLockHeldElsewhere = static_cast<HRESULT>(0x80070021u);

}  // namespace platform
