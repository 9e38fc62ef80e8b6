#include "enumerator/ranked_hits.h"

#include <algorithm>

namespace qoinfo {

void RankedHits::OrderThrough(std::size_t i) {
  const std::size_t block = std::max(kFirstBlock, m_ordered);
  const std::size_t end =
      std::min(m_hits.size(), std::max(i + 1, m_ordered + block));
  const auto before = [](const RankedHit& a, const RankedHit& b) {
    return a.Before(b);
  };
  const auto first = m_hits.begin() + static_cast<std::ptrdiff_t>(m_ordered);
  const auto middle = m_hits.begin() + static_cast<std::ptrdiff_t>(end);
  if (end == m_hits.size()) {
    std::sort(first, middle, before);
  } else {
    std::nth_element(first, middle, m_hits.end(), before);
    std::sort(first, middle, before);
  }
  m_ordered = end;
}

}  // namespace qoinfo
