// File locks on Windows: the file opened without sharing, which the system
// closes when the handle does or the process ends.
#include <windows.h>

#include <chrono>
#include <new>
#include <thread>

#include "platform/file_lock.h"
#include "platform/wide_string.h"

namespace platform {
namespace {

class WindowsFileLock final : public FileLock {
 public:
  explicit WindowsFileLock(HANDLE file) : file_(file) {}
  ~WindowsFileLock() override { CloseHandle(file_); }

 private:
  HANDLE file_;
};

}  // namespace

HRESULT AcquireSystemFileLock(const std::u16string& path, int wait_ms,
                          std::unique_ptr<FileLock>* lock) {
  lock->reset();
  const OleString wide = ToOleString(path);
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
  for (;;) {
    HANDLE file =
        CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      lock->reset(new (std::nothrow) WindowsFileLock(file));
      if (!*lock) {
        CloseHandle(file);
        return E_OUTOFMEMORY;
      }
      return S_OK;
    }
    const DWORD error = GetLastError();
    if (error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION) {
      return HRESULT_FROM_WIN32(error);
    }
    if (std::chrono::steady_clock::now() >= deadline) return kLockHeldElsewhere;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

}  // namespace platform
