// Word extraction: how a page text or a query becomes a word-count map.
// The text is lowered, split at runs of white space (the regular expression
// \s+, keeping the text between matches), each token loses its leading and
// trailing separators (. ; : ( ) , " / \), and the resulting words are
// counted. Empty words count like any other. Stateless and thread-safe.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "index/word_count_map.h"
#include "platform/com_base.h"

namespace qoinfo {

// The nine separator units, in their defined order.
inline constexpr std::u16string_view kSeparators = u".;:(),\"/\\";

bool IsSeparator(char16_t unit);

// `token` without its leading and trailing separators.
std::u16string TrimSeparators(const std::u16string& token);
// The same as a view into `token`.
std::u16string_view TrimmedView(std::u16string_view token);

// The word-count map of `text` (up to its first NUL; null counts as empty).
// Only an empty text has no words. Raises std::bad_alloc when out of memory.
WordCountMap ExtractWords(BSTR text);

// The tokens of `text` between runs of white space: a leading empty token
// when the text starts with white space, none for trailing white space.
void SplitAtWhiteSpace(const std::u16string& text,
                       std::vector<std::u16string>* tokens);

// One word of a text, in text order: `word` is the trimmed token (a view
// into the text read), `token_begin` and `token_end` bound the token it
// came from (separators included), all in UTF-16 units.
struct TextWord {
  std::size_t token_begin = 0;
  std::size_t token_end = 0;
  std::u16string_view word;
};

// The tokens of `text` as ExtractWords reads them (the text's own case:
// lower it first to compare with extracted words), in text order, into
// *words (cleared first). The empty token a leading white space gives is
// left out; a token of separators only gives an empty word.
void WordsInOrder(std::u16string_view text, std::vector<TextWord>* words);

}  // namespace qoinfo
