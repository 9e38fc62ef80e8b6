// Shared helpers of the enumerator tests: records made from a page number,
// and enumerators filled from short tables.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "enumerator/search_data_enumerator.h"
#include "tests/support/com_ptr.h"
#include "tests/support/search_hits.h"

namespace qoinfo::testing {

inline std::u16string Numbered(const char16_t* prefix, std::int64_t page) {
  std::u16string out = prefix;
  for (char c : std::to_string(page)) out += static_cast<char16_t>(c);
  return out;
}

// The record every test files for page `page`.
inline CTimeURLContainer RecordOf(std::int64_t page) {
  return CTimeURLContainer(1000 + page, Numbered(u"http://host/", page),
                           Numbered(u"C:\\cache\\", page),
                           Numbered(u"Page ", page));
}

inline Hit HitOf(std::int64_t page, std::int32_t percent) {
  const CTimeURLContainer record = RecordOf(page);
  return {record.m_time, record.m_url, record.m_path, record.m_title, percent};
}

// (relevance, page) entries, inserted in the order given.
using RankingRows = std::vector<std::pair<std::int64_t, std::int64_t>>;

inline CSearchDataEnumerator::Ranking RankingOf(const RankingRows& rows) {
  CSearchDataEnumerator::Ranking ranking;
  for (const auto& row : rows) ranking.insert(row);
  return ranking;
}

inline CSearchDataEnumerator::RecordMap RecordsOf(
    const std::vector<std::int64_t>& pages) {
  CSearchDataEnumerator::RecordMap records;
  for (std::int64_t page : pages) records.emplace(page, RecordOf(page));
  return records;
}

// A new standalone enumerator filled with `rows` and the records of `pages`;
// the index is taken to have held records when `pages` is not empty.
inline ComPtr<CSearchDataEnumerator> FilledEnumerator(
    const RankingRows& rows, const std::vector<std::int64_t>& pages) {
  ComPtr<CSearchDataEnumerator> enumerator;
  if (CSearchDataEnumerator::Create(enumerator.out()) == S_OK) {
    enumerator->Fill(RankingOf(rows), RecordsOf(pages), !pages.empty());
  }
  return enumerator;
}

}  // namespace qoinfo::testing
