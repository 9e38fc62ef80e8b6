// The process environment, read and written as UTF-16. On Windows these are
// the process's own variables (what child processes inherit), not a copy
// kept by the C runtime.
#pragma once

#include <string>

namespace platform {

// The value of `name`; false when it is not set (or cannot be read as
// text), with *value cleared.
bool GetEnvironment(const char* name, std::u16string* value);

// Sets `name` to `value`, or removes it. False when the system refuses.
bool SetEnvironment(const char* name, const std::u16string& value);
bool UnsetEnvironment(const char* name);

}  // namespace platform
