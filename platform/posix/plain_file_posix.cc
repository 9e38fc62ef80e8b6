#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>

#include "platform/plain_file.h"
#include "platform/posix/data_file_posix.h"
#include "platform/posix/errno_hresult.h"
#include "platform/utf8.h"

namespace platform {
namespace {

using Source = FileReader::Source;

// The failure of opening a data file with O_NOFOLLOW: ELOOP is its link.
HRESULT OpenFailure(int error, Source source) {
  if (error == ELOOP && source == Source::kDataFile) return kSymbolicLink;
  return HResultFromErrno(error);
}

// Opens without blocking (a FIFO would wait for a writer), checks the kind
// of file, then turns blocking mode back on. A data file is opened as
// OpenDataFile opens one.
HRESULT OpenRegular(const std::u16string& path, int flags, int* fd_out,
                    Source source) {
  const std::string native = Utf16ToUtf8(path);
  const int fd =
      source == Source::kDataFile
          ? OpenDataFile(native, flags | O_NONBLOCK)
          : ::open(native.c_str(), flags | O_NONBLOCK | O_CLOEXEC, 0600);
  if (fd < 0) return OpenFailure(errno, source);
  struct stat info;
  if (::fstat(fd, &info) != 0 ||
      !(S_ISREG(info.st_mode) ||
        (source == Source::kNamedFileOrPipe && S_ISFIFO(info.st_mode)))) {
    ::close(fd);
    return kNotARegularFile;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  *fd_out = fd;
  return S_OK;
}

class PosixAppendFile final : public AppendFile {
 public:
  PosixAppendFile(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
  ~PosixAppendFile() override { ::close(fd_); }

  HRESULT Append(std::string_view bytes) override {
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t put =
          ::pwrite(fd_, bytes.data() + done, bytes.size() - done, size_ + done);
      if (put < 0) {
        if (errno == EINTR) continue;
        const HRESULT hr = HResultFromErrno(errno);
        // Nothing of a failed record may stay behind; should the cut fail
        // too, the next append writes over the rest.
        const int cut = ::ftruncate(fd_, static_cast<off_t>(size_));
        static_cast<void>(cut);
        return hr;
      }
      done += static_cast<std::size_t>(put);
    }
    size_ += bytes.size();
    return S_OK;
  }

  HRESULT Sync() override {
    return ::fdatasync(fd_) == 0 ? S_OK : HResultFromErrno(errno);
  }

  HRESULT WriteAt(std::uint64_t offset, std::string_view bytes) override {
    if (offset > size_ || bytes.size() > size_ - offset) return E_INVALIDARG;
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t put = ::pwrite(fd_, bytes.data() + done,
                                   bytes.size() - done,
                                   static_cast<off_t>(offset + done));
      if (put < 0) {
        if (errno == EINTR) continue;
        return HResultFromErrno(errno);
      }
      done += static_cast<std::size_t>(put);
    }
    return S_OK;
  }

  HRESULT Truncate(std::uint64_t size) override {
    if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) {
      return HResultFromErrno(errno);
    }
    size_ = size;
    return S_OK;
  }

  std::uint64_t Size() const override { return size_; }

 private:
  int fd_;
  std::uint64_t size_;
};

class PosixFileReader final : public FileReader {
 public:
  PosixFileReader(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
  ~PosixFileReader() override { ::close(fd_); }

  HRESULT Read(std::size_t count, std::string* out) override {
    const std::size_t start = out->size();
    out->resize(start + count);
    std::size_t done = 0;
    while (done < count) {
      const ssize_t got = ::read(fd_, out->data() + start + done, count - done);
      if (got == 0) break;
      if (got < 0) {
        if (errno == EINTR) continue;
        out->resize(start + done);
        return HResultFromErrno(errno);
      }
      done += static_cast<std::size_t>(got);
    }
    out->resize(start + done);
    return S_OK;
  }

  std::uint64_t Size() const override { return size_; }

 private:
  int fd_;
  std::uint64_t size_;
};

std::uint64_t SizeOf(int fd) {
  struct stat info;
  return ::fstat(fd, &info) == 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
}

}  // namespace

HRESULT CheckRegularFile(const std::u16string& path) {
  struct stat info;
  if (::stat(Utf16ToUtf8(path).c_str(), &info) != 0) {
    return HResultFromErrno(errno);
  }
  return S_ISREG(info.st_mode) ? S_OK : kNotARegularFile;
}

HRESULT PrepareDataFile(const std::u16string& path, bool create) {
  int fd = -1;
  const HRESULT hr = OpenRegular(path, O_RDONLY | (create ? O_CREAT : 0), &fd,
                                 Source::kDataFile);
  if (hr == HResultFromErrno(ENOENT) && !create) return S_OK;
  if (FAILED(hr)) return hr;
  ::close(fd);
  return S_OK;
}

HRESULT AppendFile::Open(const std::u16string& path,
                         std::unique_ptr<AppendFile>* file) {
  int fd = -1;
  const HRESULT hr =
      OpenRegular(path, O_RDWR | O_CREAT, &fd, Source::kDataFile);
  if (FAILED(hr)) return hr;
  file->reset(new (std::nothrow) PosixAppendFile(fd, SizeOf(fd)));
  if (*file == nullptr) {
    ::close(fd);
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

HRESULT FileReader::Open(const std::u16string& path,
                         std::unique_ptr<FileReader>* file, Source source) {
  int fd = -1;
  const HRESULT hr = OpenRegular(path, O_RDONLY, &fd, source);
  if (FAILED(hr)) return hr;
  file->reset(new (std::nothrow) PosixFileReader(fd, SizeOf(fd)));
  if (*file == nullptr) {
    ::close(fd);
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

}  // namespace platform
