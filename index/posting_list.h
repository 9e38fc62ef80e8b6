// PostingList: the pages filed under one word, each page identifier with the
// word's occurrence count in that page, in ascending identifier order and
// each identifier at most once. A sorted vector with the map operations the
// index uses; appending a new (highest) identifier costs O(1).
//
// Identifiers of real pages count up from 1, so a list keeps them in 32 bits
// (8 bytes a posting) for as long as every one fits in 0..UINT32_MAX, and
// widens itself to 64-bit entries (16 bytes) when one does not: a file may
// bring any identifier. Iterators yield (identifier, count) pairs by value.
// Not thread-safe.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <utility>
#include <vector>

namespace qoinfo {

class PostingList {
 public:
  using value_type = std::pair<std::int64_t, std::int32_t>;

  // A random-access iterator over either form of the list.
  class const_iterator {
   public:
    using iterator_category = std::random_access_iterator_tag;
    using value_type = PostingList::value_type;
    using difference_type = std::ptrdiff_t;
    using pointer = void;
    using reference = value_type;

    // What operator-> returns: the pair, held by value.
    struct Arrow {
      value_type entry;
      const value_type* operator->() const { return &entry; }
    };

    const_iterator() = default;

    value_type operator*() const {
      return m_wide != nullptr ? *m_wide
                               : value_type(m_narrow->id, m_narrow->count);
    }
    Arrow operator->() const { return {**this}; }
    value_type operator[](difference_type n) const { return *(*this + n); }

    const_iterator& operator++() { return *this += 1; }
    const_iterator operator++(int) {
      const const_iterator was = *this;
      *this += 1;
      return was;
    }
    const_iterator& operator--() { return *this -= 1; }
    const_iterator& operator+=(difference_type n) {
      if (m_wide != nullptr) {
        m_wide += n;
      } else {
        m_narrow += n;
      }
      return *this;
    }
    const_iterator& operator-=(difference_type n) { return *this += -n; }
    friend const_iterator operator+(const_iterator it, difference_type n) {
      return it += n;
    }
    friend difference_type operator-(const const_iterator& a,
                                     const const_iterator& b) {
      return a.m_wide != nullptr ? a.m_wide - b.m_wide : a.m_narrow - b.m_narrow;
    }
    bool operator==(const const_iterator& other) const {
      return m_wide == other.m_wide && m_narrow == other.m_narrow;
    }
    bool operator<(const const_iterator& other) const {
      return (*this - other) < 0;
    }

   private:
    friend class PostingList;
    struct NarrowEntry {
      std::uint32_t id;
      std::int32_t count;
    };
    const_iterator(const NarrowEntry* narrow, const value_type* wide)
        : m_narrow(narrow), m_wide(wide) {}
    const NarrowEntry* m_narrow = nullptr;
    const value_type* m_wide = nullptr;
  };

  PostingList() = default;
  PostingList(const PostingList& other)
      : m_narrow(other.m_narrow),
        m_wide(other.m_wide ? std::make_unique<std::vector<value_type>>(
                                  *other.m_wide)
                            : nullptr) {}
  PostingList(PostingList&&) noexcept = default;
  PostingList& operator=(const PostingList& other) {
    if (this != &other) *this = PostingList(other);
    return *this;
  }
  PostingList& operator=(PostingList&&) noexcept = default;
  // Entries in any order; of two with one identifier the first stays.
  PostingList(std::initializer_list<value_type> entries) {
    for (const value_type& entry : entries) emplace(entry.first, entry.second);
  }

  // Inserts (id, count) unless `id` is present; true when inserted.
  bool emplace(std::int64_t id, std::int32_t count) {
    if (!m_wide && !FitsNarrow(id)) Widen();
    return m_wide ? Emplace(*m_wide, value_type(id, count))
                    : Emplace(m_narrow, Narrow{static_cast<std::uint32_t>(id),
                                               count});
  }

  // Removes `id`; the number of entries removed (0 or 1).
  std::size_t erase(std::int64_t id) {
    if (m_wide) return Erase(*m_wide, id);
    return FitsNarrow(id) ? Erase(m_narrow, id) : 0;
  }

  // Removes every entry whose identifier `remove(id)` accepts; the number
  // removed.
  template <typename Remove>
  std::size_t erase_if(Remove&& remove) {
    return m_wide ? std::erase_if(*m_wide, [&](const value_type& e) {
                      return remove(e.first);
                    })
                  : std::erase_if(m_narrow, [&](const Narrow& e) {
                      return remove(static_cast<std::int64_t>(e.id));
                    });
  }

  const_iterator find(std::int64_t id) const {
    if (m_wide) {
      const auto at = LowerBound(*m_wide, id);
      return at != m_wide->end() && at->first == id ? Wrap(&*at) : end();
    }
    if (!FitsNarrow(id)) return end();
    const auto at = LowerBound(m_narrow, id);
    return at != m_narrow.end() && at->id == id ? Wrap(&*at) : end();
  }
  std::size_t count(std::int64_t id) const { return find(id) != end() ? 1 : 0; }

  const_iterator begin() const {
    return m_wide ? Wrap(m_wide->data()) : Wrap(m_narrow.data());
  }
  const_iterator end() const {
    return m_wide ? Wrap(m_wide->data() + m_wide->size())
                  : Wrap(m_narrow.data() + m_narrow.size());
  }
  std::size_t size() const { return m_wide ? m_wide->size() : m_narrow.size(); }
  bool empty() const { return size() == 0; }
  // Room for `count` entries in the form the list has now.
  void reserve(std::size_t count) {
    m_wide ? m_wide->reserve(count) : m_narrow.reserve(count);
  }
  // Calls use(identifier, count) for each entry in order.
  template <typename Use>
  void ForEach(Use&& use) const {
    if (m_wide) {
      for (const value_type& e : *m_wide) use(e.first, e.second);
    } else {
      for (const Narrow& e : m_narrow)
        use(static_cast<std::int64_t>(e.id), e.count);
    }
  }

  bool operator==(const PostingList& other) const {
    return std::equal(begin(), end(), other.begin(), other.end());
  }

 private:
  using Narrow = const_iterator::NarrowEntry;

  static bool FitsNarrow(std::int64_t id) {
    return id >= 0 && id <= static_cast<std::int64_t>(UINT32_MAX);
  }
  static std::int64_t KeyOf(const Narrow& e) { return e.id; }
  static std::int64_t KeyOf(const value_type& e) { return e.first; }

  template <typename Entry>
  static typename std::vector<Entry>::const_iterator LowerBound(
      const std::vector<Entry>& entries, std::int64_t id) {
    return std::lower_bound(
        entries.begin(), entries.end(), id,
        [](const Entry& e, std::int64_t key) { return KeyOf(e) < key; });
  }
  template <typename Entry>
  static bool Emplace(std::vector<Entry>& entries, const Entry& entry) {
    const std::int64_t id = KeyOf(entry);
    if (entries.empty() || KeyOf(entries.back()) < id) {
      entries.push_back(entry);
      return true;
    }
    const auto at = LowerBound(entries, id);
    if (at != entries.end() && KeyOf(*at) == id) return false;
    entries.insert(at, entry);
    return true;
  }
  template <typename Entry>
  static std::size_t Erase(std::vector<Entry>& entries, std::int64_t id) {
    const auto at = LowerBound(entries, id);
    if (at == entries.end() || KeyOf(*at) != id) return 0;
    entries.erase(at);
    return 1;
  }

  static const_iterator Wrap(const Narrow* at) { return {at, nullptr}; }
  static const_iterator Wrap(const value_type* at) { return {nullptr, at}; }

  void Widen() {
    auto wide = std::make_unique<std::vector<value_type>>();
    wide->reserve(m_narrow.size() + 1);
    for (const Narrow& e : m_narrow) wide->emplace_back(e.id, e.count);
    m_wide = std::move(wide);
    m_narrow = std::vector<Narrow>();
  }

  std::vector<Narrow> m_narrow;
  // Set once an identifier outside 0..UINT32_MAX arrives; then the only form.
  std::unique_ptr<std::vector<value_type>> m_wide;
};

}  // namespace qoinfo
