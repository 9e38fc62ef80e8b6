// WordCountMap: the word-count map of one text: each distinct normalized word
// with its number of occurrences (at least 1), ordered by UTF-16 code unit.
// Flat: the entries sit in one array and the words' units in blocks that
// never move, so a page's few hundred words cost a few allocations instead
// of one or two per word. Entries are views into those blocks; they stay
// valid until the map is changed, cleared or destroyed (a move keeps them).
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

namespace qoinfo {

class WordCountMap {
 public:
  using value_type = std::pair<std::u16string_view, std::int32_t>;
  using const_iterator = std::vector<value_type>::const_iterator;
  using iterator = const_iterator;

  WordCountMap() = default;
  // Of two entries for one word, the first stays.
  WordCountMap(std::initializer_list<value_type> entries);
  WordCountMap(const WordCountMap& other);
  WordCountMap& operator=(const WordCountMap& other);
  WordCountMap(WordCountMap&& other) noexcept { swap(other); }
  WordCountMap& operator=(WordCountMap&& other) noexcept {
    WordCountMap taken(std::move(other));
    swap(taken);
    return *this;
  }

  const_iterator begin() const { return m_entries.begin(); }
  const_iterator end() const { return m_entries.end(); }
  std::size_t size() const { return m_entries.size(); }
  bool empty() const { return m_entries.empty(); }
  void clear();

  const_iterator find(std::u16string_view word) const;
  std::size_t count(std::u16string_view word) const {
    return find(word) == end() ? 0 : 1;
  }
  // The count of `word`, filed with 0 first when it is not there.
  std::int32_t& operator[](std::u16string_view word);

  // Files `word` with `count` unless it is there already (then false). A
  // word after every word held goes at the end without a search.
  bool Insert(std::u16string_view word, std::int32_t count);
  // Room for `entries` more words of `units` code units in all, so that
  // filing them allocates nothing more.
  void Reserve(std::size_t entries, std::size_t units);
  // Room for the words of `entries` (pairs whose `first` is a word view).
  template <typename Entries>
  void ReserveFor(const Entries& entries) {
    std::size_t units = 0;
    for (const auto& entry : entries) units += entry.first.size();
    Reserve(entries.size(), units);
  }

  void swap(WordCountMap& other) noexcept;

  friend bool operator==(const WordCountMap& a, const WordCountMap& b) {
    return a.m_entries == b.m_entries;
  }

 private:
  // A lasting copy of `word`'s units.
  std::u16string_view Keep(std::u16string_view word);

  std::vector<value_type> m_entries;
  std::vector<std::unique_ptr<char16_t[]>> m_blocks;
  char16_t* m_free = nullptr;  // the unused end of the last block
  std::size_t m_freeUnits = 0;
};

}  // namespace qoinfo
