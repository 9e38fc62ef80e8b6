#include "agent/snippet.h"

#include <algorithm>
#include <cstdint>
#include <new>
#include <string_view>
#include <unordered_map>

#include "agent/find_query.h"
#include "agent/word_extraction.h"
#include "platform/text_case.h"
#include "platform/wide_string.h"

namespace qoinfo {
namespace {

constexpr int kNoQueryWord = -1;

// Which of the query's distinct words each word of a text is: its exact
// word when the query has it, else the prefix when the word begins with it.
class QueryWordMatcher {
 public:
  QueryWordMatcher(std::u16string_view query, const FindOptions& options) {
    const platform::UniqueBstr what(platform::AllocBstr(query));
    if (what == nullptr) throw std::bad_alloc();
    m_query = ExtractWords(what.get());
    for (const auto& [word, count] : m_query) {
      if (!word.empty()) m_words.emplace(word, static_cast<int>(m_words.size()));
    }
    m_prefix = ReadFindQuery(query, options).prefix;
    if (!m_prefix.empty()) {
      const auto found = m_words.find(m_prefix);
      m_prefixId = found != m_words.end() ? found->second
                                          : static_cast<int>(m_words.size());
    }
  }

  // The number of distinct query words there can be.
  std::size_t size() const { return m_words.size() + 1; }

  int Of(std::u16string_view word) const {
    if (word.empty()) return kNoQueryWord;
    const auto found = m_words.find(word);
    if (found != m_words.end()) return found->second;
    if (!m_prefix.empty() && word.starts_with(m_prefix)) return m_prefixId;
    return kNoQueryWord;
  }

 private:
  WordCountMap m_query;
  // Views into m_query's words.
  std::unordered_map<std::u16string_view, int> m_words;
  std::u16string m_prefix;
  int m_prefixId = kNoQueryWord;
};

}  // namespace

Snippet MakeSnippet(std::u16string_view text, std::u16string_view query,
                    const FindOptions& options) {
  text = text.substr(0, text.find(u'\0'));
  std::u16string lowered(text);
  platform::LowerCaseInPlace(lowered);
  std::vector<TextWord> words;
  WordsInOrder(lowered, &words);
  Snippet snippet;
  if (words.empty()) return snippet;

  // Each word's query word, then the window with the most distinct ones:
  // a count per query word, slid over the text once.
  const QueryWordMatcher matcher(query, options);
  std::vector<int> ids(words.size());
  for (std::size_t i = 0; i < words.size(); ++i) ids[i] = matcher.Of(words[i].word);
  const std::size_t window = std::min(kSnippetWords, words.size());
  std::vector<std::uint32_t> inside(matcher.size());
  std::size_t distinct = 0;
  auto enter = [&](int id) {
    if (id != kNoQueryWord && inside[id]++ == 0) ++distinct;
  };
  auto leave = [&](int id) {
    if (id != kNoQueryWord && --inside[id] == 0) --distinct;
  };
  for (std::size_t i = 0; i < window; ++i) enter(ids[i]);
  std::size_t best = 0, best_distinct = distinct;
  for (std::size_t start = 1; start + window <= words.size(); ++start) {
    leave(ids[start - 1]);
    enter(ids[start + window - 1]);
    if (distinct > best_distinct) {
      best = start;
      best_distinct = distinct;
    }
  }

  // The window's tokens, one space apart, with their query words marked.
  for (std::size_t i = best; i < best + window; ++i) {
    const TextWord& word = words[i];
    if (i > best) snippet.text += u' ';
    const std::size_t at = snippet.text.size();
    snippet.text.append(text.substr(word.token_begin,
                                    word.token_end - word.token_begin));
    if (ids[i] != kNoQueryWord) {
      const auto lead = static_cast<std::size_t>(word.word.data() -
                                                 (lowered.data() + word.token_begin));
      snippet.marks.push_back({static_cast<std::uint32_t>(at + lead),
                               static_cast<std::uint32_t>(word.word.size())});
    }
  }
  snippet.cut_before = best > 0;
  snippet.cut_after = best + window < words.size();
  return snippet;
}

}  // namespace qoinfo
