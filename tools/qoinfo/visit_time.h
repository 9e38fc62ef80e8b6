// The time of a visit as the command line writes it. A visit's Time is a
// count of seconds since 1970-01-01 00:00 UTC; qoinfo accepts it as that
// number or as an ISO 8601 UTC time "YYYY-MM-DDTHH:MM:SSZ" (the "Z" may be
// left out), and prints the ISO form.
#pragma once

#include <cstdint>
#include <string>

namespace qoinfo::tools {

// False when `text` is neither form (or out of range).
bool ParseVisitTime(const std::string& text, std::int64_t* time);

// "YYYY-MM-DDTHH:MM:SSZ" for years 0000-9999, else the number.
std::string FormatVisitTime(std::int64_t time);

}  // namespace qoinfo::tools
