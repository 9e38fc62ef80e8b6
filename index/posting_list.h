// PostingList: the pages filed under one word, each page identifier with the
// word's occurrence count in that page, in ascending identifier order and
// each identifier at most once. A sorted vector with the map operations the
// index uses: 16 bytes a posting instead of a tree node, and appending a new
// (highest) identifier costs O(1). Not thread-safe.
#pragma once

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <utility>
#include <vector>

namespace qoinfo {

class PostingList {
 public:
  using value_type = std::pair<std::int64_t, std::int32_t>;
  using const_iterator = std::vector<value_type>::const_iterator;

  PostingList() = default;
  // Entries in any order; of two with one identifier the first stays.
  PostingList(std::initializer_list<value_type> entries) {
    for (const value_type& entry : entries) emplace(entry.first, entry.second);
  }

  // Inserts (id, count) unless `id` is present; true when inserted.
  bool emplace(std::int64_t id, std::int32_t count) {
    if (entries_.empty() || entries_.back().first < id) {
      entries_.emplace_back(id, count);
      return true;
    }
    const auto at = LowerBound(id);
    if (at != entries_.end() && at->first == id) return false;
    entries_.emplace(at, id, count);
    return true;
  }

  // Removes `id`; the number of entries removed (0 or 1).
  std::size_t erase(std::int64_t id) {
    const auto at = LowerBound(id);
    if (at == entries_.end() || at->first != id) return 0;
    entries_.erase(at);
    return 1;
  }

  const_iterator find(std::int64_t id) const {
    const auto at = std::lower_bound(
        entries_.begin(), entries_.end(), id,
        [](const value_type& e, std::int64_t key) { return e.first < key; });
    return at != entries_.end() && at->first == id ? at : entries_.end();
  }
  std::size_t count(std::int64_t id) const { return find(id) != end() ? 1 : 0; }

  const_iterator begin() const { return entries_.begin(); }
  const_iterator end() const { return entries_.end(); }
  std::size_t size() const { return entries_.size(); }
  void reserve(std::size_t count) { entries_.reserve(count); }
  bool empty() const { return entries_.empty(); }

  bool operator==(const PostingList& other) const = default;

 private:
  std::vector<value_type>::iterator LowerBound(std::int64_t id) {
    return std::lower_bound(
        entries_.begin(), entries_.end(), id,
        [](const value_type& e, std::int64_t key) { return e.first < key; });
  }

  std::vector<value_type> entries_;
};

}  // namespace qoinfo
