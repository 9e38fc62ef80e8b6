#include <unicode/uchar.h>

#include <array>

#include "platform/case_exceptions.h"
#include "platform/text_case.h"

namespace platform {
namespace {

// The mapping of every UTF-16 unit, computed once (128 KiB).
using LowerTable = std::array<char16_t, 0x10000>;

LowerTable BuildLowerTable() {
  LowerTable table{};
  for (std::uint32_t unit = 0; unit < table.size(); ++unit) {
    UChar32 lower = static_cast<UChar32>(unit);
    const bool surrogate = unit >= 0xD800 && unit <= 0xDFFF;
    if (!surrogate && !WindowsLeavesUnlowered(static_cast<char16_t>(unit))) {
      lower = u_tolower(static_cast<UChar32>(unit));
      // A simple mapping that left the plane could not be stored in one unit.
      if (lower > 0xFFFF) lower = static_cast<UChar32>(unit);
    }
    table[unit] = static_cast<char16_t>(lower);
  }
  return table;
}

const LowerTable& Lower() {
  static const LowerTable table = BuildLowerTable();
  return table;
}

bool IsHighSurrogate(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLowSurrogate(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// Lowers the character of a surrogate pair in place when its lower-case
// form is also outside the Basic Multilingual Plane.
void LowerPair(OLECHAR* pair) {
  const UChar32 c = 0x10000 + ((static_cast<UChar32>(pair[0]) - 0xD800) << 10) +
                    (static_cast<UChar32>(pair[1]) - 0xDC00);
  const UChar32 lower = u_tolower(c);
  if (lower == c || lower < 0x10000 || lower > 0x10FFFF) return;
  pair[0] = static_cast<char16_t>(0xD800 + ((lower - 0x10000) >> 10));
  pair[1] = static_cast<char16_t>(0xDC00 + ((lower - 0x10000) & 0x3FF));
}

}  // namespace

void LowerCaseInPlace(OLECHAR* text, UINT length) {
  const LowerTable& lower = Lower();
  for (UINT i = 0; i < length; ++i) {
    if (IsHighSurrogate(text[i]) && i + 1 < length &&
        IsLowSurrogate(text[i + 1])) {
      LowerPair(text + i);
      ++i;
      continue;
    }
    text[i] = lower[text[i]];
  }
}

void LowerCaseInPlace(std::u16string& text) {
  LowerCaseInPlace(text.data(), static_cast<UINT>(text.size()));
}

}  // namespace platform
