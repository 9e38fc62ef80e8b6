#include "platform/posix/data_file_posix.h"

#include <fcntl.h>
#include <sys/stat.h>

namespace platform {

int OpenDataFile(const std::string& path, int flags) {
  const int fd = ::open(path.c_str(), flags | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return fd;
  struct stat info;
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
      (info.st_mode & 077) != 0) {
    const int changed = ::fchmod(fd, info.st_mode & 0700);
    static_cast<void>(changed);  // not the owner: the file is used as it is
  }
  return fd;
}

}  // namespace platform
