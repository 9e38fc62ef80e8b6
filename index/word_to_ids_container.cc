#include "index/word_to_ids_container.h"

namespace qoinfo {

CWordToIdsContainer& CWordToIdsContainer::operator=(
    const CWordToIdsContainer& other) {
  if (this != &other) {
    WordMap copy = other.m_words;
    m_words.swap(copy);
  }
  return *this;
}

void CWordToIdsContainer::AddWords(const WordCountMap& counts,
                                   std::int64_t id) {
  for (const auto& [word, count] : counts) {
    const auto position = m_words.lower_bound(word);
    if (position == m_words.end() || position->first != word) {
      m_words.emplace_hint(position, word, Postings{{id, count}});
      continue;
    }
    if (!position->second.emplace(id, count).second) return;
  }
}

void CWordToIdsContainer::RemoveId(std::int64_t id) {
  for (auto& [word, postings] : m_words) postings.erase(id);
}

}  // namespace qoinfo
