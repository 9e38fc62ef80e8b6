#include "tools/import/history_time.h"

namespace qoinfo::tools {
namespace {

constexpr std::int64_t kMicrosecondsPerSecond = 1000000;

// Division rounding toward minus infinity (C++ rounds toward zero).
std::int64_t FloorSeconds(std::int64_t microseconds) {
  std::int64_t seconds = microseconds / kMicrosecondsPerSecond;
  if (microseconds % kMicrosecondsPerSecond < 0) --seconds;
  return seconds;
}

}  // namespace

std::int64_t ChromiumTimeToVisitTime(std::int64_t microseconds_since_1601) {
  // Subtracting the base in seconds, after the division, cannot overflow:
  // |INT64_MIN / 10^6| is far above the base.
  return FloorSeconds(microseconds_since_1601) - kSecondsFrom1601To1970;
}

std::int64_t FirefoxTimeToVisitTime(std::int64_t microseconds_since_1970) {
  return FloorSeconds(microseconds_since_1970);
}

}  // namespace qoinfo::tools
