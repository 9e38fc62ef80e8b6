// Shared helpers of the enumerator tests: records made from a page number,
// and enumerators filled from short tables.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "enumerator/search_data_enumerator.h"
#include "index/id_container.h"
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

// (relevance, page) entries. Of equal relevance the later row comes first,
// as the later of two equal relevances has the higher score.
using RankingRows = std::vector<std::pair<std::int64_t, std::int64_t>>;

inline std::vector<RankedHit> RankingOf(const RankingRows& rows) {
  std::vector<RankedHit> hits;
  for (const auto& [relevance, page] : rows) {
    hits.push_back({relevance, static_cast<std::int64_t>(hits.size()), page});
  }
  return hits;
}

// A snapshot of an index holding the records of `pages`; one that held
// records when `had_records`, with a record no hit names if need be.
inline std::shared_ptr<const RecordSnapshot> RecordsOf(
    const std::vector<std::int64_t>& pages, bool had_records = true) {
  CIDContainer records;
  for (std::int64_t page : pages) records.InsertLoaded(page, RecordOf(page));
  constexpr std::int64_t kUnranked = std::int64_t{1} << 40;
  if (had_records && pages.empty()) {
    records.InsertLoaded(kUnranked, RecordOf(kUnranked));
  }
  return records.Snapshot();
}

// A new standalone enumerator filled with `rows` and the records of `pages`.
inline ComPtr<CSearchDataEnumerator> FilledEnumerator(
    const RankingRows& rows, const std::vector<std::int64_t>& pages) {
  ComPtr<CSearchDataEnumerator> enumerator;
  if (CSearchDataEnumerator::Create(enumerator.out()) == S_OK) {
    enumerator->Fill(RankingOf(rows), RecordsOf(pages, false));
  }
  return enumerator;
}

}  // namespace qoinfo::testing
