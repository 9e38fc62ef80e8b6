// Helpers of the search tests: an index filled through AddData with the
// records the enumerator tests use, and a search drained into hits.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "agent/add_data.h"
#include "agent/search.h"
#include "platform/wide_string.h"
#include "tests/enumerator/enumerator_test_support.h"

namespace qoinfo::testing {

struct Index {
  CIDContainer records;
  CWordToIdsContainer words;

  // Files a page with `text` and the record RecordOf(its identifier);
  // returns the identifier.
  std::int64_t AddPage(std::u16string_view text) {
    const std::int64_t page = records.lastId() + 1;
    const CTimeURLContainer record = RecordOf(page);
    platform::UniqueBstr url(platform::AllocBstr(record.m_url));
    platform::UniqueBstr body(platform::AllocBstr(text));
    platform::UniqueBstr path(platform::AllocBstr(record.m_path));
    platform::UniqueBstr title(platform::AllocBstr(record.m_title));
    const _URL_DATE_IA data{record.m_time, url.get(), body.get(), path.get(),
                            title.get()};
    if (AddData(data, records, words) != S_OK) return 0;
    return records.lastId();
  }
};

struct SearchOutcome {
  HRESULT hr = E_UNEXPECTED;  // of Search
  std::vector<Hit> hits;
  HRESULT last = E_UNEXPECTED;  // of the Next call that ended the hits
};

inline ComPtr<ISearchDataEnumerator> SearchOf(const Index& index,
                                              std::u16string_view query,
                                              HRESULT* hr) {
  platform::UniqueBstr what(platform::AllocBstr(query));
  ComPtr<ISearchDataEnumerator> result;
  *hr = Search(what.get(), result.out(), index.records, index.words);
  return result;
}

inline SearchOutcome SearchAndDrain(const Index& index,
                                    std::u16string_view query) {
  SearchOutcome outcome;
  ComPtr<ISearchDataEnumerator> enumerator =
      SearchOf(index, query, &outcome.hr);
  if (outcome.hr == S_OK) outcome.hits = Drain(enumerator.get(), &outcome.last);
  return outcome;
}

}  // namespace qoinfo::testing
