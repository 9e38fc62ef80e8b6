// The white-space class of the word splitter: the Unicode White_Space set,
// 25 code points, all in the Basic Multilingual Plane. This is also exactly
// the set the Windows character table classes as C1_SPACE. U+001C..U+001F,
// which some libraries count as space, are deliberately not members.
#pragma once

namespace platform {

constexpr bool IsWhiteSpaceUnit(char16_t c) {
  switch (c) {
    case 0x0009: case 0x000A: case 0x000B: case 0x000C: case 0x000D:
    case 0x0020: case 0x0085: case 0x00A0: case 0x1680:
    case 0x2000: case 0x2001: case 0x2002: case 0x2003: case 0x2004:
    case 0x2005: case 0x2006: case 0x2007: case 0x2008: case 0x2009:
    case 0x200A: case 0x2028: case 0x2029: case 0x202F: case 0x205F:
    case 0x3000:
      return true;
    default:
      return false;
  }
}

}  // namespace platform
