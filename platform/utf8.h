// UTF-8 <-> UTF-16 at the edges of the system (command line, D-Bus, JSON).
// Decoding is strict: overlong forms, encoded surrogates, values above
// U+10FFFF and truncated sequences are errors, reported with the byte offset
// of the offending sequence. Encoding writes U+FFFD for an unpaired
// surrogate, which has no UTF-8 form.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

// Appends the UTF-16 form of `utf8` to `out`. On invalid input returns false,
// sets `*error_offset` and leaves `out` holding the units decoded before it.
bool Utf8ToUtf16(std::string_view utf8, std::u16string* out,
                 std::size_t* error_offset);

std::string Utf16ToUtf8(std::u16string_view utf16);

}  // namespace platform
