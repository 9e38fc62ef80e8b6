#include "index/posting_list.h"

#include "index/postings_view.h"

#include <algorithm>
#include <new>

namespace qoinfo {

void PostingList::Reserve(std::uint32_t bytes) {
  const std::uint32_t room = IsInline() ? kInlineBytes : m_capacity;
  if (bytes <= room) return;
  // Growth by half keeps the unused room of a list near a sixth of it on
  // average, at three copies of each byte over the list's life.
  const std::uint64_t wanted =
      std::max<std::uint64_t>(bytes, std::uint64_t{room} + room / 2);
  if (wanted > UINT32_MAX) throw std::bad_alloc();
  auto* grown = new std::uint8_t[wanted];
  if (m_used != 0) std::memcpy(grown, Data(), m_used);
  FreeHeap();
  m_heap = grown;
  m_capacity = static_cast<std::uint32_t>(wanted);
}

void PostingList::shrink_to_fit() {
  if (IsInline() || m_capacity == m_used) return;
  if (m_used <= kInlineBytes) {
    std::uint8_t* heap = m_heap;
    std::memcpy(m_inline, heap, m_used);
    delete[] heap;
    m_capacity = 0;
    return;
  }
  auto* exact = new std::uint8_t[m_used];
  std::memcpy(exact, m_heap, m_used);
  delete[] m_heap;
  m_heap = exact;
  m_capacity = m_used;
}

bool PostingList::InsertBeforeEnd(std::int64_t id, std::int32_t count) {
  std::vector<value_type> entries;
  entries.reserve(m_size + 1);
  ForEach([&](std::int64_t other, std::int32_t c) { entries.emplace_back(other, c); });
  const auto at = std::lower_bound(
      entries.begin(), entries.end(), id,
      [](const value_type& e, std::int64_t key) { return e.first < key; });
  if (at != entries.end() && at->first == id) return false;
  entries.insert(at, value_type(id, count));
  Assign(entries);
  return true;
}

void PostingList::Assign(const std::vector<value_type>& entries) {
  PostingList list;
  for (const value_type& entry : entries) list.emplace(entry.first, entry.second);
  list.shrink_to_fit();
  *this = std::move(list);
}

void PostingList::FreeHeap() {
  if (!IsInline()) delete[] m_heap;
  m_capacity = 0;
}

void PostingList::Release() {
  FreeHeap();
  std::memset(m_inline, 0, kInlineBytes);
  m_used = 0;
  m_last = 0;
  m_size = 0;
}

void PostingList::CopyFrom(const PostingList& other) {
  if (other.m_used > kInlineBytes) {
    m_heap = new std::uint8_t[other.m_used];
    m_capacity = other.m_used;
  }
  if (other.m_used != 0) std::memcpy(Data(), other.Data(), other.m_used);
  m_used = other.m_used;
  m_last = other.m_last;
  m_size = other.m_size;
}

void PostingList::TakeFrom(PostingList& other) noexcept {
  // The union whole: the heap pointer, or the bytes themselves.
  std::memcpy(m_inline, other.m_inline, kInlineBytes);
  m_used = other.m_used;
  m_capacity = other.m_capacity;
  m_last = other.m_last;
  m_size = other.m_size;
  other.m_capacity = 0;  // the heap bytes are ours now
  other.Release();
}

void PostingList::AssignEncoded(const std::uint8_t* bytes, std::uint32_t used,
                                std::uint32_t count, std::int64_t last) {
  clear();
  Reserve(used);
  if (used != 0) std::memcpy(Data(), bytes, used);
  m_used = used;
  m_size = count;
  m_last = count == 0 ? 0 : last;
}

void PostingList::AppendAbove(const PostingsView& view) {
  if (view.empty()) return;
  if (empty()) {
    AssignEncoded(view.bytes(), view.byte_size(),
                  static_cast<std::uint32_t>(view.size()), view.last_id());
    return;
  }
  // Only the first entry changes: it is stored whole in the view, and
  // becomes a distance from this list's last identifier. The distances
  // after it stay as they are.
  value_type first;
  const std::uint8_t* rest = DecodeFirst(view.bytes(), &first);
  const auto rest_bytes =
      static_cast<std::uint32_t>(view.bytes() + view.byte_size() - rest);
  Reserve(m_used + kMaxEntryBytes + rest_bytes);
  std::uint8_t* out = Data() + m_used;
  out = PutVarint(out, static_cast<std::uint64_t>(first.first) -
                           static_cast<std::uint64_t>(m_last));
  out = PutVarint(out, static_cast<std::uint32_t>(first.second));
  if (rest_bytes != 0) std::memcpy(out, rest, rest_bytes);
  m_used = static_cast<std::uint32_t>(out + rest_bytes - Data());
  m_size += static_cast<std::uint32_t>(view.size());
  m_last = view.last_id();
}

}  // namespace qoinfo
