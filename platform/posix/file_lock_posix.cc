// File locks on POSIX: an open descriptor with an exclusive flock, which the
// kernel drops when the descriptor closes or the process ends.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <new>
#include <thread>

#include "platform/file_lock.h"
#include "platform/plain_file.h"
#include "platform/posix/data_file_posix.h"
#include "platform/posix/errno_hresult.h"
#include "platform/utf8.h"

namespace platform {
namespace {

class PosixFileLock final : public FileLock {
 public:
  explicit PosixFileLock(int fd) : fd_(fd) {}
  ~PosixFileLock() override { close(fd_); }

 private:
  int fd_;
};

}  // namespace

HRESULT AcquireSystemFileLock(const std::u16string& path, int wait_ms,
                          std::unique_ptr<FileLock>* lock) {
  lock->reset();
  const int fd = OpenDataFile(Utf16ToUtf8(path), O_RDWR | O_CREAT);
  if (fd < 0) return errno == ELOOP ? kSymbolicLink : HResultFromErrno(errno);
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
  while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    if (error != EWOULDBLOCK && error != EINTR) {
      close(fd);
      return HResultFromErrno(error);
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      close(fd);
      return kLockHeldElsewhere;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  lock->reset(new (std::nothrow) PosixFileLock(fd));
  if (!*lock) {
    close(fd);
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

}  // namespace platform
