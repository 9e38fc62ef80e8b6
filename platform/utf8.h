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

// Whether `cp` is one of the 66 noncharacters: U+FDD0..U+FDEF and the last
// two code points of every plane (U+FFFE, U+FFFF, U+1FFFE, ...).
bool IsNoncharacter(char32_t cp);

// Makes `text` what every way in carries to the agent and the history (the
// command line, files, the bus): the text up to its first NUL, where the
// agent stops reading any string, with each noncharacter, which the bus
// cannot carry, as U+FFFD. So the same input gives the same visit and the
// same words whichever way it came.
void ToCarriedText(std::u16string* text);

// Outside UTF-8 (a page, a browser's database) as carried text: each byte
// that is not UTF-8 becomes U+FFFD instead of costing the whole text.
std::u16string LenientUtf8ToCarriedText(std::string_view utf8);

}  // namespace platform
