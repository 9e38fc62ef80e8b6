#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <string>

#include "platform/file_system.h"
#include "platform/posix/data_file_posix.h"
#include "platform/posix/errno_hresult.h"
#include "platform/utf8.h"

namespace platform {
namespace {

std::string Native(const std::u16string& path) { return Utf16ToUtf8(path); }

HRESULT SyncPath(const std::string& path, int flags) {
  const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
  if (fd < 0) return HResultFromErrno(errno);
  const int result = ::fsync(fd);
  const int error = errno;
  ::close(fd);
  return result == 0 ? S_OK : HResultFromErrno(error);
}

std::string DirectoryOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace

const char16_t kPathSeparator = u'/';

bool FileExists(const std::u16string& path) {
  struct stat info;
  return ::stat(Native(path).c_str(), &info) == 0;
}

std::uint64_t FileSize(const std::u16string& path) {
  struct stat info;
  if (::stat(Native(path).c_str(), &info) != 0) return 0;
  return static_cast<std::uint64_t>(info.st_size);
}

HRESULT FlushFileToDisk(const std::u16string& path) {
  return SyncPath(Native(path), O_RDONLY);
}

HRESULT ReplaceFileAtomically(const std::u16string& from,
                              const std::u16string& to) {
  const std::string target = Native(to);
  if (::rename(Native(from).c_str(), target.c_str()) != 0) {
    return HResultFromErrno(errno);
  }
  // The rename itself lives in the directory: flush that too.
  return SyncPath(DirectoryOf(target), O_RDONLY | O_DIRECTORY);
}

HRESULT CopyFileExclusive(const std::u16string& from,
                          const std::u16string& to) {
  // Both are data files.
  const int in = OpenDataFile(Native(from), O_RDONLY);
  if (in < 0) return HResultFromErrno(errno);
  const int out = OpenDataFile(Native(to), O_WRONLY | O_CREAT | O_EXCL);
  if (out < 0) {
    const int error = errno;
    ::close(in);
    return HResultFromErrno(error);
  }
  HRESULT hr = S_OK;
  char buffer[65536];
  for (;;) {
    const ssize_t got = ::read(in, buffer, sizeof buffer);
    if (got == 0) break;
    if (got < 0) {
      if (errno == EINTR) continue;
      hr = HResultFromErrno(errno);
      break;
    }
    ssize_t done = 0;
    while (done < got) {
      const ssize_t put = ::write(out, buffer + done, got - done);
      if (put < 0) {
        if (errno == EINTR) continue;
        hr = HResultFromErrno(errno);
        break;
      }
      done += put;
    }
    if (FAILED(hr)) break;
  }
  if (SUCCEEDED(hr) && ::fsync(out) != 0) hr = HResultFromErrno(errno);
  ::close(in);
  if (::close(out) != 0 && SUCCEEDED(hr)) hr = HResultFromErrno(errno);
  if (FAILED(hr)) ::unlink(Native(to).c_str());
  return hr;
}

void RemoveFileIfPresent(const std::u16string& path) {
  ::unlink(Native(path).c_str());
}

HRESULT RemoveFileDurably(const std::u16string& path) {
  const std::string native = Native(path);
  if (::unlink(native.c_str()) != 0) {
    return errno == ENOENT ? S_OK : HResultFromErrno(errno);
  }
  return SyncPath(DirectoryOf(native), O_RDONLY | O_DIRECTORY);
}

std::u16string UtcTimestampForFileName() {
  const std::time_t now = std::time(nullptr);
  std::tm utc;
  ::gmtime_r(&now, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%dT%H%M%SZ", &utc);
  return std::u16string(text, text + std::char_traits<char>::length(text));
}

}  // namespace platform
