#include <fcntl.h>
#include <malloc.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <new>

#include "platform/file_system.h"
#include "platform/mapped_file.h"
#include "platform/plain_file.h"
#include "platform/posix/data_file_posix.h"
#include "platform/posix/errno_hresult.h"
#include "platform/utf8.h"

namespace platform {
namespace {

FileIdentity IdentityOf(const struct stat& info) {
  FileIdentity identity;
  identity.size = static_cast<std::uint64_t>(info.st_size);
  identity.modified = static_cast<std::int64_t>(info.st_mtim.tv_sec) *
                          1000000000 +
                      static_cast<std::int64_t>(info.st_mtim.tv_nsec);
  identity.file_id = static_cast<std::uint64_t>(info.st_ino);
  return identity;
}

// Opens a data file for reading as every data file is opened (never
// through a link, made private when others may read it: the index files
// too, which a start-up from the image only identifies) and checks that it
// is a regular file.
HRESULT OpenForReading(const std::u16string& path, int* fd_out,
                       struct stat* info) {
  const int fd = OpenDataFile(Utf16ToUtf8(path), O_RDONLY | O_NONBLOCK);
  if (fd < 0) return errno == ELOOP ? kSymbolicLink : HResultFromErrno(errno);
  if (::fstat(fd, info) != 0 || !S_ISREG(info->st_mode)) {
    ::close(fd);
    return kNotARegularFile;
  }
  *fd_out = fd;
  return S_OK;
}

}  // namespace

HRESULT IdentifyFile(const std::u16string& path, FileIdentity* identity) {
  int fd = -1;
  struct stat info;
  const HRESULT hr = OpenForReading(path, &fd, &info);
  if (FAILED(hr)) return hr;
  ::close(fd);
  *identity = IdentityOf(info);
  return S_OK;
}

HRESULT MappedFile::Open(const std::u16string& path,
                         std::unique_ptr<MappedFile>* mapped) {
  mapped->reset();
  int fd = -1;
  struct stat info;
  const HRESULT hr = OpenForReading(path, &fd, &info);
  if (FAILED(hr)) return hr;
  std::unique_ptr<MappedFile> file(new (std::nothrow) MappedFile);
  if (file == nullptr) {
    ::close(fd);
    return E_OUTOFMEMORY;
  }
  file->m_identity = IdentityOf(info);
  if (info.st_size > 0) {
    if constexpr (sizeof(std::size_t) < sizeof(info.st_size)) {
      if (static_cast<std::uint64_t>(info.st_size) > SIZE_MAX) {
        ::close(fd);
        return E_OUTOFMEMORY;  // more than the address space
      }
    }
    const std::size_t size = static_cast<std::size_t>(info.st_size);
    void* data = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
    if (data == MAP_FAILED) {
      const HRESULT failure = HResultFromErrno(errno);
      ::close(fd);
      return failure;
    }
    file->m_data = static_cast<const std::uint8_t*>(data);
    file->m_size = size;
  }
  // The mapping keeps the file's pages; the descriptor is not needed.
  ::close(fd);
  *mapped = std::move(file);
  return S_OK;
}

MappedFile::~MappedFile() {
  if (m_data != nullptr) {
    ::munmap(const_cast<std::uint8_t*>(m_data), m_size);
  }
}

HRESULT ReplaceMappedFile(const std::u16string& from,
                          const std::u16string& to) {
  // A mapping keeps the replaced file's pages; the name is free to take.
  return ReplaceFileAtomically(from, to);
}

void RemoveMappedFile(const std::u16string& path) {
  // A mapping keeps the removed file's pages.
  RemoveFileIfPresent(path);
}

void ReleaseFreedMemory() {
#if defined(__GLIBC__)
  ::malloc_trim(0);
#endif
}

}  // namespace platform
