// The word-count map of one text: each distinct normalized word with its
// number of occurrences (at least 1), ordered by UTF-16 code unit.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace qoinfo {

using WordCountMap = std::map<std::u16string, std::int32_t>;

}  // namespace qoinfo
