// The regular-expression type of the word splitter. Windows uses Boost's
// Win32 traits over wchar_t, which class white space by the system's
// character table; POSIX uses Utf16RegexTraits over char16_t, which class it
// by the Unicode White_Space set. Both are 16-bit code units.
#pragma once

#include <string>

#if defined(_WIN32)
#include "platform/windows/wide_regex_win.h"
#else
#include "platform/posix/wide_regex_posix.h"
#endif

namespace platform {

using RegexString = std::basic_string<RegexChar>;

static_assert(sizeof(RegexChar) == sizeof(char16_t));

}  // namespace platform
