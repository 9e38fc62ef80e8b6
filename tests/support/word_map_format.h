// Test helpers: word-count maps written compactly as "word:count word:count",
// with words in UTF-8 and the empty word written as "''".
#pragma once

#include <string>

#include "index/word_count_map.h"
#include "platform/utf8.h"

namespace qoinfo::testing {

inline std::string FormatWordMap(const WordCountMap& counts) {
  std::string out;
  for (const auto& [word, count] : counts) {
    if (!out.empty()) out += ' ';
    out += word.empty() ? std::string("''") : platform::Utf16ToUtf8(word);
    out += ':' + std::to_string(count);
  }
  return out;
}

}  // namespace qoinfo::testing
