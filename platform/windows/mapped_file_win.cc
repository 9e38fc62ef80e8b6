#include <windows.h>

#include <cstdint>
#include <new>

#include "platform/file_system.h"
#include "platform/mapped_file.h"
#include "platform/plain_file.h"
#include "platform/wide_string.h"
#include "platform/windows/last_error_win.h"

namespace platform {
namespace {

constexpr DWORD kShareAll =
    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Opens a data file as every data file is opened: a reparse point (a
// symbolic link, a junction) is opened as itself and refused. `access`
// FILE_READ_ATTRIBUTES only asks for what the file system knows of the
// file, which even a file opened without sharing gives.
HRESULT OpenForReading(const std::u16string& path, DWORD access, HANDLE* handle,
                       BY_HANDLE_FILE_INFORMATION* info) {
  const OleString name = ToOleString(path);
  const DWORD attributes = GetFileAttributesW(name.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return kSymbolicLink;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return kNotARegularFile;
  }
  HANDLE file = CreateFileW(name.c_str(), access, kShareAll, nullptr,
                            OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) return LastErrorHResult();
  if (!GetFileInformationByHandle(file, info)) {
    const HRESULT hr = LastErrorHResult();
    CloseHandle(file);
    return hr;
  }
  if ((info->dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    CloseHandle(file);
    return kSymbolicLink;
  }
  if (GetFileType(file) != FILE_TYPE_DISK ||
      (info->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    CloseHandle(file);
    return kNotARegularFile;
  }
  *handle = file;
  return S_OK;
}

FileIdentity IdentityOf(const BY_HANDLE_FILE_INFORMATION& info) {
  FileIdentity identity;
  identity.size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) |
                  info.nFileSizeLow;
  identity.modified = static_cast<std::int64_t>(
      (static_cast<std::uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) |
      info.ftLastWriteTime.dwLowDateTime);
  identity.file_id = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) |
                     info.nFileIndexLow;
  return identity;
}

// A mapping refused for want of room is E_OUTOFMEMORY, as the header says.
HRESULT MappingFailure() {
  const DWORD error = GetLastError();
  if (error == ERROR_NOT_ENOUGH_MEMORY || error == ERROR_OUTOFMEMORY ||
      error == ERROR_COMMITMENT_LIMIT) {
    return E_OUTOFMEMORY;
  }
  return error == 0 ? E_FAIL : HRESULT_FROM_WIN32(error);
}

}  // namespace

HRESULT IdentifyFile(const std::u16string& path, FileIdentity* identity) {
  HANDLE file = nullptr;
  BY_HANDLE_FILE_INFORMATION info;
  const HRESULT hr = OpenForReading(path, FILE_READ_ATTRIBUTES, &file, &info);
  if (FAILED(hr)) return hr;
  CloseHandle(file);
  *identity = IdentityOf(info);
  return S_OK;
}

HRESULT MappedFile::Open(const std::u16string& path,
                         std::unique_ptr<MappedFile>* mapped) {
  mapped->reset();
  HANDLE file = nullptr;
  BY_HANDLE_FILE_INFORMATION info;
  HRESULT hr = OpenForReading(path, GENERIC_READ, &file, &info);
  if (FAILED(hr)) return hr;
  std::unique_ptr<MappedFile> result(new (std::nothrow) MappedFile);
  if (result == nullptr) {
    CloseHandle(file);
    return E_OUTOFMEMORY;
  }
  result->m_identity = IdentityOf(info);
  const std::uint64_t size = result->m_identity.size;
  if constexpr (sizeof(std::size_t) < sizeof(size)) {
    if (size > SIZE_MAX) {
      CloseHandle(file);
      return E_OUTOFMEMORY;  // more than a 32-bit address space
    }
  }
  if (size > 0) {
    HANDLE mapping =
        CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (mapping == nullptr) {
      hr = MappingFailure();
      CloseHandle(file);
      return hr;
    }
    void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0,
                               static_cast<SIZE_T>(size));
    if (view == nullptr) {
      hr = MappingFailure();
      CloseHandle(mapping);
      CloseHandle(file);
      return hr;
    }
    result->m_handle = mapping;
    result->m_data = static_cast<const std::uint8_t*>(view);
    result->m_size = static_cast<std::size_t>(size);
  }
  // The mapping keeps the file open as long as it needs it.
  CloseHandle(file);
  *mapped = std::move(result);
  return S_OK;
}

MappedFile::~MappedFile() {
  if (m_data != nullptr) UnmapViewOfFile(m_data);
  if (m_handle != nullptr) CloseHandle(static_cast<HANDLE>(m_handle));
}

HRESULT ReplaceMappedFile(const std::u16string& from,
                          const std::u16string& to) {
  const std::u16string aside = to + u".old";
  RemoveFileIfPresent(aside);  // an earlier one, unless still mapped
  HRESULT hr = ReplaceFileAtomically(from, to);
  if (SUCCEEDED(hr) || !FileExists(to)) return hr;
  // `to` is mapped: a mapped file can be renamed, not replaced.
  if (FAILED(ReplaceFileAtomically(to, aside))) return hr;
  hr = ReplaceFileAtomically(from, to);
  RemoveFileIfPresent(aside);
  return hr;
}

void RemoveMappedFile(const std::u16string& path) {
  const std::u16string aside = path + u".old";
  RemoveFileIfPresent(aside);
  // A mapped file cannot be removed, but can be renamed.
  if (SUCCEEDED(ReplaceFileAtomically(path, aside))) {
    RemoveFileIfPresent(aside);
  } else {
    RemoveFileIfPresent(path);
  }
}

void ReleaseFreedMemory() { HeapCompact(GetProcessHeap(), 0); }

}  // namespace platform
