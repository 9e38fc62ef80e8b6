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

}  // namespace

void LowerCaseInPlace(OLECHAR* text, UINT length) {
  const LowerTable& lower = Lower();
  for (UINT i = 0; i < length; ++i) text[i] = lower[text[i]];
}

}  // namespace platform
