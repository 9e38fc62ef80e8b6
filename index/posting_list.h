// PostingList: the pages filed under one word, each page identifier with the
// word's occurrence count in that page, in ascending identifier order and
// each identifier at most once.
//
// Entries are kept as bytes: the first identifier zigzag-encoded, each later
// one as its distance from the one before, every count after its identifier,
// all as variable-length integers (7 bits a byte). A word filed in most pages
// costs about 2 bytes a posting, a rare word 3 or 4; a list of up to 8 bytes
// lives inside the object without an allocation. Appending a new (highest)
// identifier costs O(1); inserting before the end or erasing re-encodes the
// list, which only damaged files, reissued identifiers and purges need.
// Iterators are forward-only and yield (identifier, count) pairs by value.
// Not thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <utility>
#include <vector>

namespace qoinfo {

class PostingsView;

class PostingList {
 public:
  using value_type = std::pair<std::int64_t, std::int32_t>;

  // A forward iterator that decodes one entry at a time.
  class const_iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = PostingList::value_type;
    using difference_type = std::ptrdiff_t;
    using pointer = const value_type*;
    using reference = const value_type&;

    const_iterator() = default;

    const value_type& operator*() const { return m_entry; }
    const value_type* operator->() const { return &m_entry; }
    const_iterator& operator++() {
      // Never past the end, even for bytes that end inside an entry.
      m_here = m_next < m_end ? m_next : m_end;
      if (m_here != m_end) m_next = DecodeNext(m_here, &m_entry);
      return *this;
    }
    const_iterator operator++(int) {
      const const_iterator was = *this;
      ++*this;
      return was;
    }
    bool operator==(const const_iterator& other) const {
      return m_here == other.m_here;
    }

   private:
    friend class PostingList;
    friend class PostingsView;
    const_iterator(const std::uint8_t* begin, const std::uint8_t* end)
        : m_here(begin), m_next(begin), m_end(end) {
      if (m_here != m_end) m_next = DecodeFirst(m_here, &m_entry);
    }
    const std::uint8_t* m_here = nullptr;  // where the current entry starts
    const std::uint8_t* m_next = nullptr;  // where the next one starts
    const std::uint8_t* m_end = nullptr;
    value_type m_entry{};
  };

  PostingList() = default;
  PostingList(const PostingList& other) { CopyFrom(other); }
  PostingList(PostingList&& other) noexcept { TakeFrom(other); }
  PostingList& operator=(const PostingList& other) {
    if (this != &other) {
      Release();
      CopyFrom(other);
    }
    return *this;
  }
  PostingList& operator=(PostingList&& other) noexcept {
    if (this != &other) {
      Release();
      TakeFrom(other);
    }
    return *this;
  }
  ~PostingList() { Release(); }
  // Entries in any order; of two with one identifier the first stays.
  PostingList(std::initializer_list<value_type> entries) {
    for (const value_type& entry : entries) emplace(entry.first, entry.second);
  }

  // Inserts (id, count) unless `id` is present; true when inserted.
  bool emplace(std::int64_t id, std::int32_t count) {
    if (m_size != 0 && id <= m_last) return InsertBeforeEnd(id, count);
    Reserve(m_used + kMaxEntryBytes);
    std::uint8_t* out = Data() + m_used;
    out = m_size == 0 ? PutVarint(out, ZigZag(id))
                      : PutVarint(out, static_cast<std::uint64_t>(id) -
                                           static_cast<std::uint64_t>(m_last));
    out = PutVarint(out, static_cast<std::uint32_t>(count));
    m_used = static_cast<std::uint32_t>(out - Data());
    m_last = id;
    ++m_size;
    return true;
  }

  // Removes `id`; the number of entries removed (0 or 1).
  std::size_t erase(std::int64_t id) {
    return erase_if([id](std::int64_t other) { return other == id; });
  }

  // Removes every entry whose identifier `remove(id)` accepts; the number
  // removed.
  template <typename Remove>
  std::size_t erase_if(Remove&& remove) {
    bool any = false;
    ForEach([&](std::int64_t id, std::int32_t) { any = any || remove(id); });
    if (!any) return 0;
    std::vector<value_type> kept;
    kept.reserve(m_size);
    ForEach([&](std::int64_t id, std::int32_t count) {
      if (!remove(id)) kept.emplace_back(id, count);
    });
    const std::size_t removed = m_size - kept.size();
    Assign(kept);
    return removed;
  }

  const_iterator find(std::int64_t id) const {
    for (const_iterator it = begin(), stop = end(); it != stop; ++it) {
      if (it->first == id) return it;
      if (it->first > id) break;
    }
    return end();
  }
  std::size_t count(std::int64_t id) const { return find(id) != end() ? 1 : 0; }

  const_iterator begin() const { return {Data(), Data() + m_used}; }
  const_iterator end() const { return {Data() + m_used, Data() + m_used}; }
  std::size_t size() const { return m_size; }
  // The highest identifier; only for a list that is not empty.
  std::int64_t last_id() const { return m_last; }
  bool empty() const { return m_size == 0; }
  // Gives back the room beyond the encoded bytes (after a list is complete).
  void shrink_to_fit();
  // Empties the list and keeps its room, for a list that is built again and
  // again (copies of it take exactly the bytes they need).
  void clear() {
    m_used = 0;
    m_size = 0;
    m_last = 0;
  }

  // Starts loading the bytes an append writes to.
  void PrefetchTail() const { __builtin_prefetch(Data() + m_used, 1); }

  // Calls use(identifier, count) for each entry in order.
  template <typename Use>
  void ForEach(Use&& use) const {
    const std::uint8_t* at = Data();
    const std::uint8_t* const stop = at + m_used;
    value_type entry;
    if (at == stop) return;
    at = DecodeFirst(at, &entry);
    use(entry.first, entry.second);
    while (at != stop) {
      at = DecodeNext(at, &entry);
      use(entry.first, entry.second);
    }
  }

  // The entries as a view that does not own them (valid while the list is
  // neither changed nor destroyed).
  PostingsView View() const;
  // The encoded bytes (see above), e.g. to copy a list as it is.
  const std::uint8_t* bytes() const { return Data(); }
  std::uint32_t byte_size() const { return m_used; }
  // Replaces the entries with `count` entries encoded in `bytes` as this
  // list encodes them, the highest identifier being `last`.
  void AssignEncoded(const std::uint8_t* bytes, std::uint32_t used,
                     std::uint32_t count, std::int64_t last);
  // Appends the entries of `view`, whose first identifier is above this
  // list's last one, without decoding more than its first entry.
  void AppendAbove(const PostingsView& view);

  bool operator==(const PostingList& other) const {
    return m_size == other.m_size && m_used == other.m_used &&
           (m_used == 0 || std::memcmp(Data(), other.Data(), m_used) == 0);
  }

 private:
  friend class PostingsView;
  // An identifier's distance (up to 10 bytes) and a count (up to 5).
  static constexpr std::uint32_t kMaxEntryBytes = 15;
  static constexpr std::uint32_t kInlineBytes = 8;

  static std::uint64_t ZigZag(std::int64_t v) {
    return (static_cast<std::uint64_t>(v) << 1) ^
           static_cast<std::uint64_t>(v >> 63);
  }
  static std::int64_t UnZigZag(std::uint64_t v) {
    return static_cast<std::int64_t>((v >> 1) ^ (~(v & 1) + 1));
  }
  static std::uint8_t* PutVarint(std::uint8_t* out, std::uint64_t v) {
    while (v >= 0x80) {
      *out++ = static_cast<std::uint8_t>(v | 0x80);
      v >>= 7;
    }
    *out++ = static_cast<std::uint8_t>(v);
    return out;
  }
  static const std::uint8_t* GetVarint(const std::uint8_t* in,
                                       std::uint64_t* v) {
    std::uint64_t result = *in & 0x7F;
    for (unsigned shift = 7; *in++ & 0x80; shift += 7) {
      result |= static_cast<std::uint64_t>(*in & 0x7F) << shift;
    }
    *v = result;
    return in;
  }
  static const std::uint8_t* DecodeCount(const std::uint8_t* in,
                                         value_type* entry) {
    std::uint64_t count = 0;
    in = GetVarint(in, &count);
    entry->second = static_cast<std::int32_t>(static_cast<std::uint32_t>(count));
    return in;
  }
  static const std::uint8_t* DecodeFirst(const std::uint8_t* in,
                                         value_type* entry) {
    std::uint64_t id = 0;
    in = GetVarint(in, &id);
    entry->first = UnZigZag(id);
    return DecodeCount(in, entry);
  }
  static const std::uint8_t* DecodeNext(const std::uint8_t* in,
                                        value_type* entry) {
    std::uint64_t distance = 0;
    in = GetVarint(in, &distance);
    entry->first = static_cast<std::int64_t>(
        static_cast<std::uint64_t>(entry->first) + distance);
    return DecodeCount(in, entry);
  }

  bool IsInline() const { return m_capacity == 0; }
  std::uint8_t* Data() { return IsInline() ? m_inline : m_heap; }
  const std::uint8_t* Data() const { return IsInline() ? m_inline : m_heap; }

  // Room for `bytes` encoded bytes, growing by half again at least.
  void Reserve(std::uint32_t bytes);
  // Out of the ordinary: `id` at or below the last identifier.
  bool InsertBeforeEnd(std::int64_t id, std::int32_t count);
  // Replaces the entries with `entries` (ascending, unique).
  void Assign(const std::vector<value_type>& entries);
  void FreeHeap();
  // Frees the bytes and empties the list.
  void Release();
  void CopyFrom(const PostingList& other);
  void TakeFrom(PostingList& other) noexcept;

  union {
    std::uint8_t* m_heap;
    std::uint8_t m_inline[kInlineBytes] = {};
  };
  std::uint32_t m_used = 0;
  std::uint32_t m_capacity = 0;  // 0: the bytes are inline
  std::int64_t m_last = 0;       // the highest identifier, when not empty
  std::uint32_t m_size = 0;
};

}  // namespace qoinfo
