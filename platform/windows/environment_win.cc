#include <windows.h>

#include <string>

#include "platform/environment.h"
#include "platform/wide_string.h"

namespace platform {
namespace {

std::wstring WideName(const char* name) {
  std::wstring wide;
  for (const char* c = name; *c != 0; ++c) {
    wide.push_back(static_cast<wchar_t>(static_cast<unsigned char>(*c)));
  }
  return wide;
}

}  // namespace

bool GetEnvironment(const char* name, std::u16string* value) {
  value->clear();
  const std::wstring wide_name = WideName(name);
  std::wstring buffer(64, L'\0');
  for (;;) {
    SetLastError(0);
    const DWORD got = GetEnvironmentVariableW(
        wide_name.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
    if (got == 0) {
      // Zero is also the length of a variable set to "".
      return GetLastError() != ERROR_ENVVAR_NOT_FOUND;
    }
    if (got < buffer.size()) {
      value->assign(buffer.begin(), buffer.begin() + got);
      return true;
    }
    buffer.resize(got);  // got counts the terminating NUL here
  }
}

bool SetEnvironment(const char* name, const std::u16string& value) {
  const OleString wide_value = ToOleString(value);
  return SetEnvironmentVariableW(WideName(name).c_str(), wide_value.c_str()) !=
         0;
}

bool UnsetEnvironment(const char* name) {
  return SetEnvironmentVariableW(WideName(name).c_str(), nullptr) != 0;
}

}  // namespace platform
