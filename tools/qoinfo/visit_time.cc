#include "tools/qoinfo/visit_time.h"

#include <cstdio>

#include "tools/qoinfo/command_line.h"

namespace qoinfo::tools {
namespace {

// Days from 1970-01-01 to year/month/day of the proleptic Gregorian
// calendar (Howard Hinnant's days_from_civil).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, std::int64_t* y, unsigned* m, unsigned* d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  *d = doy - (153 * mp + 2) / 5 + 1;
  *m = mp < 10 ? mp + 3 : mp - 9;
  *y = static_cast<std::int64_t>(yoe) + era * 400 + (*m <= 2);
}

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

}  // namespace

bool ParseVisitTime(const std::string& text, std::int64_t* time) {
  long long number = 0;
  if (ParseInt64(text, &number)) {
    *time = number;
    return true;
  }
  int y, mo, d, h, mi, s;
  char tail[2] = {0, 0};
  const int fields = std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%1c",
                                 &y, &mo, &d, &h, &mi, &s, tail);
  if (fields != 6 && !(fields == 7 && tail[0] == 'Z')) return false;
  if (text.size() != (fields == 7 ? 20u : 19u)) return false;
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (mo < 1 || mo > 12 || d < 1 || h > 23 || mi > 59 || s > 59 || h < 0 ||
      mi < 0 || s < 0) {
    return false;
  }
  if (d > kDays[mo - 1] + (mo == 2 && IsLeap(y) ? 1 : 0)) return false;
  *time = DaysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d)) *
              86400 +
          h * 3600 + mi * 60 + s;
  return true;
}

std::string FormatVisitTime(std::int64_t time) {
  // Years 0000-9999.
  constexpr std::int64_t kFirst = -62167219200;  // 0000-01-01T00:00:00Z
  constexpr std::int64_t kLast = 253402300799;   // 9999-12-31T23:59:59Z
  if (time < kFirst || time > kLast) return std::to_string(time);
  std::int64_t days = time / 86400;
  std::int64_t seconds = time % 86400;
  if (seconds < 0) {
    seconds += 86400;
    --days;
  }
  std::int64_t y;
  unsigned m, d;
  CivilFromDays(days, &y, &m, &d);
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02uT%02d:%02d:%02dZ",
                static_cast<int>(y), m, d, static_cast<int>(seconds / 3600),
                static_cast<int>(seconds / 60 % 60),
                static_cast<int>(seconds % 60));
  return buffer;
}

}  // namespace qoinfo::tools
