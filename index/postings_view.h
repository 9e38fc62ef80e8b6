// PostingsView: a word's postings without owning them, in PostingList's
// encoding: the bytes of a PostingList or of a list in the mapped index
// image (index/index_image.h). Iterates exactly as PostingList does, so a
// search reads a word filed since the last save and a word of the image
// the same way. Valid while the bytes it views are.
#pragma once

#include <cstddef>
#include <cstdint>

#include "index/posting_list.h"

namespace qoinfo {

class PostingsView {
 public:
  using value_type = PostingList::value_type;
  using const_iterator = PostingList::const_iterator;

  PostingsView() = default;
  PostingsView(const std::uint8_t* bytes, std::uint32_t used,
               std::uint32_t count, std::int64_t last)
      : m_bytes(bytes), m_used(used), m_size(count), m_last(last) {}

  const_iterator begin() const { return {m_bytes, m_bytes + m_used}; }
  const_iterator end() const { return {m_bytes + m_used, m_bytes + m_used}; }
  std::size_t size() const { return m_size; }
  bool empty() const { return m_size == 0; }
  // The highest identifier; only for a view that is not empty.
  std::int64_t last_id() const { return m_last; }
  const std::uint8_t* bytes() const { return m_bytes; }
  std::uint32_t byte_size() const { return m_used; }

  // Calls use(identifier, count) for each entry in order.
  template <typename Use>
  void ForEach(Use&& use) const {
    const std::uint8_t* at = m_bytes;
    const std::uint8_t* const stop = at + m_used;
    value_type entry;
    if (at == stop) return;
    at = PostingList::DecodeFirst(at, &entry);
    use(entry.first, entry.second);
    while (at < stop) {  // `<`: bytes of the image may end inside an entry
      at = PostingList::DecodeNext(at, &entry);
      use(entry.first, entry.second);
    }
  }

  // The first entry; only for a view that is not empty.
  value_type front() const {
    value_type entry;
    PostingList::DecodeFirst(m_bytes, &entry);
    return entry;
  }

  // Whether both views hold the same entries.
  bool SameEntries(const PostingsView& other) const;

 private:
  const std::uint8_t* m_bytes = nullptr;
  std::uint32_t m_used = 0;
  std::uint32_t m_size = 0;
  std::int64_t m_last = 0;
};

inline PostingsView PostingList::View() const {
  return PostingsView(Data(), m_used, m_size, m_last);
}

}  // namespace qoinfo
