#include <windows.h>

#include <string>

#include "platform/file_system.h"
#include "platform/wide_string.h"
#include "platform/windows/last_error_win.h"

namespace platform {
namespace {

OleString Native(const std::u16string& path) { return ToOleString(path); }

}  // namespace

const char16_t kPathSeparator = u'\\';

bool FileExists(const std::u16string& path) {
  return GetFileAttributesW(Native(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::uint64_t FileSize(const std::u16string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(Native(path).c_str(), GetFileExInfoStandard, &data)) {
    return 0;
  }
  return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) |
         data.nFileSizeLow;
}

HRESULT FlushFileToDisk(const std::u16string& path) {
  HANDLE file =
      CreateFileW(Native(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return LastErrorHResult();
  const HRESULT hr = FlushFileBuffers(file) ? S_OK : LastErrorHResult();
  CloseHandle(file);
  return hr;
}

HRESULT ReplaceFileAtomically(const std::u16string& from,
                              const std::u16string& to) {
  if (!MoveFileExW(Native(from).c_str(), Native(to).c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return LastErrorHResult();
  }
  return S_OK;
}

HRESULT CopyFileExclusive(const std::u16string& from,
                          const std::u16string& to) {
  if (!CopyFileW(Native(from).c_str(), Native(to).c_str(), TRUE)) {
    return LastErrorHResult();
  }
  return FlushFileToDisk(to);
}

void RemoveFileIfPresent(const std::u16string& path) {
  DeleteFileW(Native(path).c_str());
}

HRESULT RemoveFileDurably(const std::u16string& path) {
  if (DeleteFileW(Native(path).c_str())) return S_OK;
  const DWORD error = GetLastError();
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return S_OK;
  return HRESULT_FROM_WIN32(error);
}

std::u16string UtcTimestampForFileName() {
  SYSTEMTIME now;
  GetSystemTime(&now);
  wchar_t text[32];
  swprintf(text, 32, L"%04u%02u%02uT%02u%02u%02uZ", now.wYear, now.wMonth,
           now.wDay, now.wHour, now.wMinute, now.wSecond);
  return std::u16string(text, text + wcslen(text));
}

}  // namespace platform
