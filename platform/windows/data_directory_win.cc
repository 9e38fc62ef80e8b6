#include <shlobj.h>
#include <windows.h>

#include <string>

#include "platform/data_directory.h"
#include "platform/environment.h"
#include "platform/wide_string.h"
#include "platform/windows/last_error_win.h"

namespace platform {
namespace {

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

// The length of the root of `path` ("C:\", "\\server\share\", "\"), which
// is never created.
std::size_t RootLength(const std::u16string& path) {
  if (path.size() >= 2 && path[1] == u':') {
    return path.size() >= 3 && IsSeparator(path[2]) ? 3 : 2;
  }
  if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    // Past the server and share names.
    std::size_t at = 2;
    for (int part = 0; part < 2 && at < path.size(); ++part) {
      while (at < path.size() && !IsSeparator(path[at])) ++at;
      if (at < path.size()) ++at;
    }
    return at;
  }
  return !path.empty() && IsSeparator(path[0]) ? 1 : 0;
}

// The local application-data folder: %LOCALAPPDATA%, else the shell's answer.
bool LocalAppData(std::u16string* folder) {
  if (GetEnvironment("LOCALAPPDATA", folder) && !folder->empty()) return true;
  wchar_t path[MAX_PATH];
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr,
                              SHGFP_TYPE_CURRENT, path))) {
    return false;
  }
  folder->assign(path, path + wcslen(path));
  return !folder->empty();
}

}  // namespace

std::u16string WithoutTrailingSeparators(std::u16string path) {
  const std::size_t root = RootLength(path);
  while (path.size() > 1 && path.size() > root && IsSeparator(path.back())) {
    path.pop_back();
  }
  return path;
}

HRESULT DefaultDataDirectory(std::u16string* directory) {
  std::u16string base;
  if (!LocalAppData(&base)) return E_FAIL;
  base = WithoutTrailingSeparators(std::move(base));
  if (!IsSeparator(base.back())) base.push_back(u'\\');
  *directory = base + u"QoInfoAgent";
  return S_OK;
}

std::u16string FolderOpenToOthers(const std::u16string&) {
  return std::u16string();
}

HRESULT CreateDirectoryTree(const std::u16string& path) {
  if (path.empty()) return E_INVALIDARG;
  const platform::OleString native = ToOleString(path);
  const DWORD existing = GetFileAttributesW(native.c_str());
  if (existing != INVALID_FILE_ATTRIBUTES &&
      (existing & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return S_OK;
  }
  // Each parent below the root in turn; their failures show in the last
  // step's result.
  for (std::size_t at = RootLength(path); at < native.size(); ++at) {
    if (IsSeparator(path[at]) && at > 0 && !IsSeparator(path[at - 1])) {
      CreateDirectoryW(native.substr(0, at).c_str(), nullptr);
    }
  }
  if (!CreateDirectoryW(native.c_str(), nullptr) &&
      GetLastError() != ERROR_ALREADY_EXISTS) {
    return LastErrorHResult();
  }
  const DWORD attributes = GetFileAttributesW(native.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return LastErrorHResult();
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    return HRESULT_FROM_WIN32(ERROR_DIRECTORY);
  }
  return S_OK;
}

}  // namespace platform
