// Word extraction: how a page text or a query becomes a word-count map.
// The text is lowered, split at runs of white space (the regular expression
// \s+, keeping the text between matches), each token loses its leading and
// trailing separators (. ; : ( ) , " / \), and the resulting words are
// counted. Empty words count like any other. Stateless and thread-safe.
#pragma once

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

// The word-count map of `text` (up to its first NUL; null counts as empty).
// Only an empty text has no words. Raises std::bad_alloc when out of memory.
WordCountMap ExtractWords(BSTR text);

// The tokens of `text` between runs of white space: a leading empty token
// when the text starts with white space, none for trailing white space.
void SplitAtWhiteSpace(const std::u16string& text,
                       std::vector<std::u16string>* tokens);

}  // namespace qoinfo
