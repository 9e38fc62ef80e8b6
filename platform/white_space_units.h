// The code units at which page texts are split into words: exactly those
// the splitting pattern's \s class matches, asked once of the very regular-
// expression traits the pattern uses (Unicode White_Space on POSIX, the
// system's character table on Windows) and kept as a table of 65,536 bits,
// so that a split by hand gives what the pattern's split gives. Thread-safe.
#pragma once

#include <bitset>

namespace platform {

// The table, indexed by code unit: set where the text splits.
const std::bitset<65536>& SplitSpaceUnits();

}  // namespace platform
