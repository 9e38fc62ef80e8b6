// Units whose lower-case form differs between the Unicode simple mapping and
// the Windows function the Windows build lowers with. Windows leaves each of
// them unchanged (title-case digraphs, the dotted capital I, the capital sharp
// s and the letter-like symbols Ohm, Kelvin and Angstrom). The POSIX build
// follows Windows here, so that an index moved between the two still matches.
#pragma once

#include <algorithm>
#include <array>

namespace platform {

inline constexpr std::array<char16_t, 10> kUnitsWindowsLeavesUnlowered = {
    0x0130, 0x01C5, 0x01C8, 0x01CB, 0x01F2,
    0x03F4, 0x1E9E, 0x2126, 0x212A, 0x212B,
};

constexpr bool WindowsLeavesUnlowered(char16_t c) {
  return std::binary_search(kUnitsWindowsLeavesUnlowered.begin(),
                            kUnitsWindowsLeavesUnlowered.end(), c);
}

}  // namespace platform
