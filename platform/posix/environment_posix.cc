#include <cstdlib>
#include <string>

#include "platform/environment.h"
#include "platform/utf8.h"

namespace platform {

bool GetEnvironment(const char* name, std::u16string* value) {
  value->clear();
  const char* text = std::getenv(name);
  if (text == nullptr) return false;
  std::size_t error_offset = 0;
  if (!Utf8ToUtf16(text, value, &error_offset)) {
    value->clear();
    return false;
  }
  return true;
}

bool SetEnvironment(const char* name, const std::u16string& value) {
  return ::setenv(name, Utf16ToUtf8(value).c_str(), 1) == 0;
}

bool UnsetEnvironment(const char* name) { return ::unsetenv(name) == 0; }

}  // namespace platform
