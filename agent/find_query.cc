#include "agent/find_query.h"

#include <cstddef>
#include <utility>

#include "agent/word_extraction.h"
#include "platform/text_case.h"

namespace qoinfo {

FindQuery ReadFindQuery(std::u16string_view query, const FindOptions& options) {
  query = query.substr(0, query.find(u'\0'));
  std::u16string lowered(query);
  platform::LowerCaseInPlace(lowered);

  // The pairs of quotes: [open, close] positions.
  std::vector<std::pair<std::size_t, std::size_t>> pairs;
  for (std::size_t open = lowered.find(u'"'); open != std::u16string::npos;) {
    const std::size_t close = lowered.find(u'"', open + 1);
    if (close == std::u16string::npos) break;
    pairs.emplace_back(open, close);
    open = lowered.find(u'"', close + 1);
  }

  FindQuery read;
  std::vector<TextWord> words;
  for (const auto& [open, close] : pairs) {
    WordsInOrder(std::u16string_view(lowered).substr(open + 1, close - open - 1),
                 &words);
    std::vector<std::u16string> phrase;
    for (const TextWord& word : words) {
      if (!word.word.empty()) phrase.emplace_back(word.word);
    }
    if (phrase.size() >= 2) read.phrases.push_back(std::move(phrase));
  }

  if (!options.prefix) return read;
  WordsInOrder(lowered, &words);
  if (words.empty() || words.back().token_end != lowered.size()) return read;
  const TextWord& last = words.back();
  for (const auto& [open, close] : pairs) {
    if (open < last.token_end && close >= last.token_begin) return read;
  }
  read.prefix = std::u16string(last.word);
  return read;
}

}  // namespace qoinfo
