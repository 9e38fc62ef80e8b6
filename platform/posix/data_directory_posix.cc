#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/data_directory.h"
#include "platform/environment.h"
#include "platform/posix/errno_hresult.h"
#include "platform/utf8.h"

namespace platform {
namespace {

// The home folder: $HOME, else the password database's entry.
bool HomeDirectory(std::u16string* home) {
  if (GetEnvironment("HOME", home) && !home->empty()) return true;
  std::vector<char> buffer(16384);
  struct passwd entry;
  struct passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) !=
          0 ||
      found == nullptr || found->pw_dir == nullptr) {
    return false;
  }
  std::size_t error_offset = 0;
  home->clear();
  return Utf8ToUtf16(found->pw_dir, home, &error_offset) && !home->empty();
}

}  // namespace

std::u16string WithoutTrailingSeparators(std::u16string path) {
  while (path.size() > 1 && path.back() == u'/') path.pop_back();
  return path;
}

HRESULT DefaultDataDirectory(std::u16string* directory) {
  // The base directory specification ignores a relative XDG_DATA_HOME.
  std::u16string base;
  if (GetEnvironment("XDG_DATA_HOME", &base) && !base.empty() &&
      base.front() == u'/') {
    base = WithoutTrailingSeparators(std::move(base));
  } else if (HomeDirectory(&base)) {
    base = WithoutTrailingSeparators(std::move(base)) + u"/.local/share";
  } else {
    return E_FAIL;
  }
  if (base == u"/") base.clear();
  *directory = base + u"/QoInfoAgent";
  return S_OK;
}

std::u16string FolderOpenToOthers(const std::u16string& path) {
  struct stat info;
  if (::stat(Utf16ToUtf8(path).c_str(), &info) != 0 ||
      (info.st_mode & 077) == 0) {
    return std::u16string();
  }
  char mode[8];
  std::snprintf(mode, sizeof mode, "%04o",
                static_cast<unsigned>(info.st_mode & 07777));
  const std::string text =
      std::string("its mode is ") + mode + " (chmod 700 makes it private)";
  return std::u16string(text.begin(), text.end());
}

HRESULT CreateDirectoryTree(const std::u16string& path) {
  if (path.empty()) return E_INVALIDARG;
  const std::string native = Utf16ToUtf8(path);
  struct stat info;
  if (::stat(native.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return S_OK;
  // Each parent in turn; their failures show in the last step's result.
  for (std::size_t slash = native.find('/', 1); slash != std::string::npos;
       slash = native.find('/', slash + 1)) {
    ::mkdir(native.substr(0, slash).c_str(), 0700);
  }
  if (::mkdir(native.c_str(), 0700) != 0 && errno != EEXIST) {
    return HResultFromErrno(errno);
  }
  if (::stat(native.c_str(), &info) != 0) return HResultFromErrno(errno);
  // ERROR_DIRECTORY: something other than a folder has that name.
  if (!S_ISDIR(info.st_mode)) return _HRESULT_TYPEDEF_(0x8007010B);
  return S_OK;
}

}  // namespace platform
