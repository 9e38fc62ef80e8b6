#include <windows.h>

#include <algorithm>
#include <new>

#include "platform/plain_file.h"
#include "platform/wide_string.h"
#include "platform/windows/last_error_win.h"

namespace platform {
namespace {

// Opens `path` and checks that it is a disk file (not a pipe, a console or
// a device) and not a folder. A data file is opened as the reparse point
// itself when it is one (a symbolic link, a junction), and refused.
HRESULT OpenRegular(const std::u16string& path, DWORD access, DWORD share,
                    DWORD disposition, bool data_file, HANDLE* handle) {
  const OleString name = ToOleString(path);
  const DWORD attributes = GetFileAttributesW(name.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if (data_file && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
      return kSymbolicLink;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return kNotARegularFile;
  }
  const DWORD flags =
      FILE_ATTRIBUTE_NORMAL | (data_file ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
  HANDLE file = CreateFileW(name.c_str(), access, share, nullptr, disposition,
                            flags, nullptr);
  if (file == INVALID_HANDLE_VALUE) return LastErrorHResult();
  BY_HANDLE_FILE_INFORMATION info;
  if (data_file && GetFileInformationByHandle(file, &info) &&
      (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    CloseHandle(file);
    return kSymbolicLink;
  }
  if (GetFileType(file) != FILE_TYPE_DISK) {
    CloseHandle(file);
    return kNotARegularFile;
  }
  *handle = file;
  return S_OK;
}

std::uint64_t SizeOf(HANDLE file) {
  LARGE_INTEGER size;
  return GetFileSizeEx(file, &size) ? static_cast<std::uint64_t>(size.QuadPart)
                                    : 0;
}

HRESULT MoveTo(HANDLE file, std::uint64_t position) {
  LARGE_INTEGER where;
  where.QuadPart = static_cast<LONGLONG>(position);
  return SetFilePointerEx(file, where, nullptr, FILE_BEGIN)
             ? S_OK
             : LastErrorHResult();
}

// Writes all of `bytes` at `offset`, a gigabyte at most per call.
HRESULT WriteAllAt(HANDLE file, std::uint64_t offset, std::string_view bytes) {
  HRESULT hr = MoveTo(file, offset);
  std::size_t done = 0;
  while (SUCCEEDED(hr) && done < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(
        std::min<std::size_t>(bytes.size() - done, 1u << 30));
    DWORD put = 0;
    if (!WriteFile(file, bytes.data() + done, chunk, &put, nullptr)) {
      hr = LastErrorHResult();
    }
    done += put;
  }
  return hr;
}

class WinAppendFile final : public AppendFile {
 public:
  WinAppendFile(HANDLE file, std::uint64_t size) : file_(file), size_(size) {}
  ~WinAppendFile() override { CloseHandle(file_); }

  HRESULT Append(std::string_view bytes) override {
    const HRESULT hr = WriteAllAt(file_, size_, bytes);
    if (FAILED(hr)) {
      // Nothing of a failed record may stay behind.
      if (SUCCEEDED(MoveTo(file_, size_))) SetEndOfFile(file_);
      return hr;
    }
    size_ += bytes.size();
    return S_OK;
  }

  HRESULT Sync() override {
    return FlushFileBuffers(file_) ? S_OK : LastErrorHResult();
  }

  HRESULT WriteAt(std::uint64_t offset, std::string_view bytes) override {
    if (offset > size_ || bytes.size() > size_ - offset) return E_INVALIDARG;
    return WriteAllAt(file_, offset, bytes);
  }

  HRESULT Truncate(std::uint64_t size) override {
    HRESULT hr = MoveTo(file_, size);
    if (SUCCEEDED(hr) && !SetEndOfFile(file_)) hr = LastErrorHResult();
    if (SUCCEEDED(hr)) size_ = size;
    return hr;
  }

  std::uint64_t Size() const override { return size_; }

 private:
  HANDLE file_;
  std::uint64_t size_;
};

class WinFileReader final : public FileReader {
 public:
  WinFileReader(HANDLE file, std::uint64_t size) : file_(file), size_(size) {}
  ~WinFileReader() override { CloseHandle(file_); }

  HRESULT Read(std::size_t count, std::string* out) override {
    const std::size_t start = out->size();
    out->resize(start + count);
    std::size_t done = 0;
    while (done < count) {
      const DWORD chunk =
          static_cast<DWORD>(std::min<std::size_t>(count - done, 1u << 30));
      DWORD got = 0;
      if (!ReadFile(file_, out->data() + start + done, chunk, &got, nullptr)) {
        out->resize(start + done);
        return LastErrorHResult();
      }
      if (got == 0) break;
      done += got;
    }
    out->resize(start + done);
    return S_OK;
  }

  std::uint64_t Size() const override { return size_; }

 private:
  HANDLE file_;
  std::uint64_t size_;
};

constexpr DWORD kShareAll =
    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

}  // namespace

HRESULT CheckRegularFile(const std::u16string& path) {
  HANDLE file = nullptr;
  const HRESULT hr =
      OpenRegular(path, 0, kShareAll, OPEN_EXISTING, false, &file);
  if (SUCCEEDED(hr)) CloseHandle(file);
  return hr;
}

HRESULT PrepareDataFile(const std::u16string& path, bool create) {
  HANDLE file = nullptr;
  const HRESULT hr = OpenRegular(
      path, 0, kShareAll, create ? OPEN_ALWAYS : OPEN_EXISTING, true, &file);
  if (!create && (hr == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) ||
                  hr == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND))) {
    return S_OK;
  }
  if (SUCCEEDED(hr)) CloseHandle(file);
  return hr;
}

HRESULT AppendFile::Open(const std::u16string& path,
                         std::unique_ptr<AppendFile>* file) {
  HANDLE handle = nullptr;
  const HRESULT hr = OpenRegular(path, GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ, OPEN_ALWAYS, true, &handle);
  if (FAILED(hr)) return hr;
  file->reset(new (std::nothrow) WinAppendFile(handle, SizeOf(handle)));
  if (*file == nullptr) {
    CloseHandle(handle);
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

HRESULT FileReader::Open(const std::u16string& path,
                         std::unique_ptr<FileReader>* file, Source source) {
  HANDLE handle = nullptr;
  const HRESULT hr =
      OpenRegular(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  OPEN_EXISTING, source == Source::kDataFile, &handle);
  if (FAILED(hr)) return hr;
  file->reset(new (std::nothrow) WinFileReader(handle, SizeOf(handle)));
  if (*file == nullptr) {
    CloseHandle(handle);
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

}  // namespace platform
