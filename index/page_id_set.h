// PageIdSet: a set of page identifiers that answers "is this one in it" in
// a few nanoseconds, for checks made once per posting. Identifiers 0 to
// UINT32_MAX (every real page) are bits in a vector as long as the highest
// one; any other identifier goes to a hash set. Not thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_set>
#include <vector>

namespace qoinfo {

class PageIdSet {
 public:
  void Insert(std::int64_t id) {
    if (Contains(id)) return;
    if (IsDense(id)) {
      const auto at = static_cast<std::size_t>(id);
      if (at / 64 >= m_bits.size()) m_bits.resize(at / 64 + 1);
      m_bits[at / 64] |= std::uint64_t{1} << (at % 64);
    } else {
      m_others.insert(id);
    }
    ++m_size;
  }
  bool Contains(std::int64_t id) const {
    if (!IsDense(id)) return !m_others.empty() && m_others.count(id) != 0;
    const auto at = static_cast<std::size_t>(id);
    return at / 64 < m_bits.size() && (m_bits[at / 64] >> (at % 64) & 1) != 0;
  }
  std::size_t size() const { return m_size; }
  bool empty() const { return m_size == 0; }
  void clear() {
    m_bits.clear();
    m_others.clear();
    m_size = 0;
  }

 private:
  static bool IsDense(std::int64_t id) {
    return id >= 0 && id <= static_cast<std::int64_t>(UINT32_MAX);
  }

  std::vector<std::uint64_t> m_bits;
  std::unordered_set<std::int64_t> m_others;
  std::size_t m_size = 0;
};

}  // namespace qoinfo
