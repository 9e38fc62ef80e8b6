// A search costs what its query's words and hits cost, not what the index
// holds: the allocations one search makes (counted by failing them) are the
// same for a small index and for a hundredfold larger one.
#include <gtest/gtest.h>

#include <string>

#include "agent/search.h"
#include "tests/agent/search_test_support.h"
#include "tests/support/allocation_failure.h"

namespace qoinfo {
namespace {

using testing::Index;

bool SucceedsWithAllocations(const Index& index, BSTR what, std::size_t n) {
  ISearchDataEnumerator* result = nullptr;
  HRESULT hr;
  {
    testing::FailAllocationsAfter fail(n);
    hr = Search(what, &result, index.records, index.words);
  }
  if (hr != S_OK) return false;
  result->Release();
  return true;
}

// The number of allocations a successful search for `query` makes: the
// smallest n for which failing every allocation from the n-th on still lets
// it succeed (a search that succeeds with n allocations succeeds with more).
std::size_t AllocationsOfSearch(const Index& index, std::u16string_view query) {
  platform::UniqueBstr what(platform::AllocBstr(query));
  std::size_t high = 1;
  while (!SucceedsWithAllocations(index, what.get(), high)) high *= 2;
  std::size_t low = 0;  // the answer lies in [low, high]
  while (low < high) {
    const std::size_t middle = low + (high - low) / 2;
    if (SucceedsWithAllocations(index, what.get(), middle)) {
      high = middle;
    } else {
      low = middle + 1;
    }
  }
  return low;
}

// An index of `pages` pages with many distinct words, plus two pages with
// the word 'rare' (first, so that their records are alike in both indexes).
void Fill(Index* index, int pages) {
  index->AddPage(u"a rare page");
  index->AddPage(u"rare again, rare");
  for (int i = 0; i < pages; ++i) {
    index->AddPage(testing::Numbered(u"common filler", i) + u" " +
                   testing::Numbered(u"word", i % 97));
  }
}

TEST(SearchCost, AllocationsDoNotGrowWithTheIndex) {
  Index small, large;
  Fill(&small, 20);
  Fill(&large, 2000);
  // Warm up what is made once per process (the splitting pattern).
  AllocationsOfSearch(small, u"rare");
  for (std::u16string_view query : {u"rare", u"absent", u"rare absent RARE"}) {
    const std::size_t in_small = AllocationsOfSearch(small, query);
    const std::size_t in_large = AllocationsOfSearch(large, query);
    EXPECT_LT(in_small, 200u) << platform::Utf16ToUtf8(query);
    EXPECT_EQ(in_small, in_large) << platform::Utf16ToUtf8(query);
  }
  // Nor with the hits: every page holds 'common', and the hits are scored
  // into one block, their records left in the index's snapshot.
  EXPECT_EQ(AllocationsOfSearch(large, u"common"),
            AllocationsOfSearch(small, u"common"));
}

}  // namespace
}  // namespace qoinfo
