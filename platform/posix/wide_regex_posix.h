#pragma once

#include "platform/posix/utf16_regex_traits.h"

namespace platform {

using RegexChar = char16_t;
using WideRegex = boost::basic_regex<char16_t, Utf16RegexTraits>;

}  // namespace platform
