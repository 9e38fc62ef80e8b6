// The browsers' visit times as our visit time (seconds since 1970-01-01
// 00:00 UTC, what `qoinfo add --time` takes). Chromium and Chrome count
// microseconds since 1601-01-01 00:00 UTC, Firefox microseconds since
// 1970-01-01 00:00 UTC. Both round toward minus infinity, so a time keeps
// its second on either side of a base; every 64-bit value converts.
#pragma once

#include <cstdint>

namespace qoinfo::tools {

// Seconds from 1601-01-01 to 1970-01-01 (369 years, 89 of them leap years).
inline constexpr std::int64_t kSecondsFrom1601To1970 = 11644473600;

std::int64_t ChromiumTimeToVisitTime(std::int64_t microseconds_since_1601);
std::int64_t FirefoxTimeToVisitTime(std::int64_t microseconds_since_1970);

}  // namespace qoinfo::tools
