#include "index/word_count_map.h"

#include <algorithm>
#include <cstring>

namespace qoinfo {
namespace {

// Words filed one at a time share blocks of at least this many units.
constexpr std::size_t kBlockUnits = 1024;

// Where `word` is in `entries`, or would go.
template <typename Entries>
auto LowerBound(Entries& entries, std::u16string_view word) {
  return std::lower_bound(entries.begin(), entries.end(), word,
                          [](const WordCountMap::value_type& entry,
                             std::u16string_view w) { return entry.first < w; });
}

}  // namespace

WordCountMap::WordCountMap(std::initializer_list<value_type> entries) {
  ReserveFor(entries);
  for (const auto& [word, count] : entries) Insert(word, count);
}

WordCountMap::WordCountMap(const WordCountMap& other) {
  ReserveFor(other);
  for (const auto& [word, count] : other) m_entries.emplace_back(Keep(word), count);
}

WordCountMap& WordCountMap::operator=(const WordCountMap& other) {
  if (this != &other) {
    WordCountMap copy(other);
    swap(copy);
  }
  return *this;
}

void WordCountMap::clear() {
  m_entries.clear();
  m_blocks.clear();
  m_free = nullptr;
  m_freeUnits = 0;
}

void WordCountMap::swap(WordCountMap& other) noexcept {
  m_entries.swap(other.m_entries);
  m_blocks.swap(other.m_blocks);
  std::swap(m_free, other.m_free);
  std::swap(m_freeUnits, other.m_freeUnits);
}

WordCountMap::const_iterator WordCountMap::find(std::u16string_view word) const {
  const auto at = LowerBound(m_entries, word);
  return at != m_entries.end() && at->first == word ? at : end();
}

std::int32_t& WordCountMap::operator[](std::u16string_view word) {
  auto at = LowerBound(m_entries, word);
  if (at != m_entries.end() && at->first == word) return at->second;
  // Keep touches only the blocks: `at` stays valid.
  return m_entries.emplace(at, Keep(word), 0)->second;
}

bool WordCountMap::Insert(std::u16string_view word, std::int32_t count) {
  if (m_entries.empty() || m_entries.back().first < word) {
    m_entries.emplace_back(Keep(word), count);
    return true;
  }
  const auto at = LowerBound(m_entries, word);
  if (at != m_entries.end() && at->first == word) return false;
  m_entries.emplace(at, Keep(word), count);
  return true;
}

void WordCountMap::Reserve(std::size_t entries, std::size_t units) {
  m_entries.reserve(m_entries.size() + entries);
  if (units > m_freeUnits) {
    m_blocks.push_back(std::make_unique_for_overwrite<char16_t[]>(units));
    m_free = m_blocks.back().get();
    m_freeUnits = units;
  }
}

std::u16string_view WordCountMap::Keep(std::u16string_view word) {
  if (word.empty()) return {};
  if (word.size() > m_freeUnits) Reserve(0, std::max(word.size(), kBlockUnits));
  std::memcpy(m_free, word.data(), word.size() * sizeof(char16_t));
  const std::u16string_view kept(m_free, word.size());
  m_free += word.size();
  m_freeUnits -= word.size();
  return kept;
}

}  // namespace qoinfo
