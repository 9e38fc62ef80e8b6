// RankedHits: the hits of one search, put in delivery order only as far as
// they are asked for. The best hit comes first: higher Percent, then higher
// score, then the higher page identifier. Asking for the first hit orders a
// first block by partial selection; each later block is twice as large, so
// enumerating every hit costs one sort in all, while a client that takes
// only the first page never pays for the rest. Not thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qoinfo {

struct RankedHit {
  std::int64_t percent = 0;
  std::int64_t score = 0;
  std::int64_t page = 0;

  // Delivered earlier than `other`.
  bool Before(const RankedHit& other) const {
    if (percent != other.percent) return percent > other.percent;
    if (score != other.score) return score > other.score;
    return page > other.page;
  }
  bool operator==(const RankedHit&) const = default;
};

class RankedHits {
 public:
  RankedHits() = default;
  explicit RankedHits(std::vector<RankedHit> hits) : m_hits(std::move(hits)) {}

  std::size_t size() const { return m_hits.size(); }
  bool empty() const { return m_hits.empty(); }
  // The hit in place `i` (< size()) of the delivery order.
  const RankedHit& at(std::size_t i) {
    if (i >= m_ordered) OrderThrough(i);
    return m_hits[i];
  }

 private:
  static constexpr std::size_t kFirstBlock = 64;

  void OrderThrough(std::size_t i);

  std::vector<RankedHit> m_hits;
  // m_hits[0, m_ordered) is in delivery order and holds the best of all.
  std::size_t m_ordered = 0;
};

}  // namespace qoinfo
