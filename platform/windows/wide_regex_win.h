#pragma once

#include <windows.h>
// Boost's Win32 traits must be complete before the regex templates use them.
#include <boost/regex/v5/w32_regex_traits.hpp>
#include <boost/regex.hpp>

namespace platform {

using RegexChar = wchar_t;
using WideRegex = boost::basic_regex<wchar_t, boost::w32_regex_traits<wchar_t>>;

}  // namespace platform
