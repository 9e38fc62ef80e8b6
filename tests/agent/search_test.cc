// Search end to end over an index filled with AddData: the relevance of the
// worked examples, the order of hits, the queries' edge cases, the argument
// checks, and the snapshot an enumerator keeps.
#include "agent/search.h"

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "com/module_lock.h"
#include "tests/agent/search_test_support.h"
#include "tests/support/allocation_failure.h"

namespace qoinfo {
namespace {

using testing::ComPtr;
using testing::Drain;
using testing::Hit;
using testing::HitOf;
using testing::Index;
using testing::SearchAndDrain;
using testing::SearchOf;

struct RelevanceCase {
  std::u16string_view query;
  std::u16string_view page;
  std::int32_t percent;
};

void PrintTo(const RelevanceCase& c, std::ostream* out) {
  *out << "'" << platform::Utf16ToUtf8(c.query) << "' on '"
       << platform::Utf16ToUtf8(c.page) << "'";
}

// Each row: a query, the one page of the index, and the page's Percent.
// K is 30 x the units of the query's words, D = K div 100.
const RelevanceCase kRelevanceCases[] = {
    // The worked examples.
    {u"hello world", u"hello world", 100},             // K 300, D 3, score 300
    {u"hello world", u"hello hello world", 150},       // score 450
    {u"hello world", u"hello", 50},                    // score 150
    {u"test", u"test", 120},                           // K 120, D 1
    {u"search engine", u"engine engine engine", 180},  // K 360, D 3, 540
    // Query words are lowered and trimmed as page words are.
    {u"Hello,", u"say hello", 150},
    {u"(HELLO)", u"Hello", 150},
    // Repeating a query word raises K only.
    {u"hello hello", u"hello", 50},  // K 300, D 3
    // The quotient is truncated: K 420, D 4, score 210.
    {u"abcdefg hijklmn", u"abcdefg", 52},
    // Self-scores of 1 to 99: score x 100 / K.
    {u"ab", u"ab", 100},  // K 60
    {u"ab", u"ab ab", 200},
    {u"a", u"a a a", 300},  // K 30
    {u"a b", u"a", 50},     // K 60
    {u"a bc", u"a", 33},    // K 90: 3000 / 90
    {u"abc", u"abc", 100},  // K 90
    {u"a", u"ba a", 100},   // only whole words count
    // Lengths count UTF-16 units: U+1F600 is two, so K 60.
    {u"\U0001F600", u"\U0001F600", 100},
    {u"\U0001F600x", u"\U0001F600x", 100},  // K 90
};

class Relevance : public ::testing::TestWithParam<RelevanceCase> {};

TEST_P(Relevance, GivesThePercentOfTheOnlyPage) {
  const RelevanceCase& c = GetParam();
  Index index;
  const std::int64_t page = index.AddPage(c.page);
  const auto outcome = SearchAndDrain(index, c.query);
  ASSERT_EQ(outcome.hr, S_OK);
  EXPECT_EQ(outcome.hits, std::vector<Hit>{HitOf(page, c.percent)})
      << platform::Utf16ToUtf8(c.query) << " / "
      << platform::Utf16ToUtf8(c.page);
  EXPECT_EQ(outcome.last, S_FALSE);
}

INSTANTIATE_TEST_SUITE_P(Queries, Relevance,
                         ::testing::ValuesIn(kRelevanceCases));

TEST(SearchOrder, BestFirstAndEqualPercentLaterPageFirst) {
  Index index;
  const std::int64_t once = index.AddPage(u"hello there");
  const std::int64_t twice = index.AddPage(u"hello hello");
  const std::int64_t also_once = index.AddPage(u"well hello");
  index.AddPage(u"nothing here");
  const std::int64_t third_once = index.AddPage(u"hello again");
  EXPECT_EQ(SearchAndDrain(index, u"hello").hits,
            (std::vector<Hit>{HitOf(twice, 300), HitOf(third_once, 150),
                              HitOf(also_once, 150), HitOf(once, 150)}));
}

TEST(SearchOrder, EqualPercentFromDifferentScoresHigherScoreFirst) {
  // Query words of 103 and 1 units: K 3120, D 31. 'x' 32 times scores 960,
  // 31 times 930: both give Percent 30. Among equal Percent values the
  // higher score comes first, then the later page.
  const std::u16string long_word(103, u'w');
  std::u16string x31, x32;
  for (int i = 0; i < 31; ++i) x31 += u"x ";
  x32 = x31 + u"x";
  Index index;
  const std::int64_t older_higher = index.AddPage(x32);
  const std::int64_t lower = index.AddPage(x31);
  const std::int64_t later_lower = index.AddPage(x31);
  EXPECT_EQ(SearchAndDrain(index, long_word + u" x").hits,
            (std::vector<Hit>{HitOf(older_higher, 30), HitOf(later_lower, 30),
                              HitOf(lower, 30)}));
}

TEST(SearchOrder, PageWithTwoQueryWordsGetsOneHitWithBothWeights) {
  Index index;
  const std::int64_t both = index.AddPage(u"hello world");
  const std::int64_t one = index.AddPage(u"world");
  EXPECT_EQ(SearchAndDrain(index, u"world hello").hits,
            (std::vector<Hit>{HitOf(both, 100), HitOf(one, 50)}));
}

TEST(SearchQueries, UnknownWordGivesAnEmptyEnumerator) {
  Index index;
  index.AddPage(u"hello world");
  const auto outcome = SearchAndDrain(index, u"absent");
  EXPECT_EQ(outcome.hr, S_OK);
  EXPECT_TRUE(outcome.hits.empty());
  EXPECT_EQ(outcome.last, S_FALSE);
}

TEST(SearchQueries, EmptyIndexGivesAnEmptyEnumerator) {
  const auto outcome = SearchAndDrain(Index(), u"hello");
  EXPECT_EQ(outcome.hr, S_OK);
  EXPECT_TRUE(outcome.hits.empty());
  EXPECT_EQ(outcome.last, S_FALSE);
}

TEST(SearchQueries, WhiteSpaceOnlyFindsNothingEvenWithEmptyWords) {
  Index index;
  index.AddPage(u"   ");        // holds the empty word
  index.AddPage(u"... hello");  // so does this one
  for (std::u16string_view query :
       {u" ", u"\t\n ", u"\u3000", u" ... ;", u".", u"()"}) {
    const auto outcome = SearchAndDrain(index, query);
    EXPECT_EQ(outcome.hr, S_OK) << platform::Utf16ToUtf8(query);
    EXPECT_TRUE(outcome.hits.empty()) << platform::Utf16ToUtf8(query);
    EXPECT_EQ(outcome.last, S_FALSE);
  }
}

TEST(SearchQueries, LeadingSpaceAddsTheEmptyWordWithPercentZeroHits) {
  Index index;
  const std::int64_t empty_only = index.AddPage(u"  ...");
  const std::int64_t hello_only = index.AddPage(u"hello");
  const std::int64_t both = index.AddPage(u" hello");
  index.AddPage(u"other words");
  // Words '' and 'hello': K 150, D 1; the empty word weighs nothing.
  EXPECT_EQ(SearchAndDrain(index, u" hello").hits,
            (std::vector<Hit>{HitOf(both, 150), HitOf(hello_only, 150),
                              HitOf(empty_only, 0)}));
  // Without the leading space the empty word is not asked for.
  EXPECT_EQ(SearchAndDrain(index, u"hello").hits,
            (std::vector<Hit>{HitOf(both, 150), HitOf(hello_only, 150)}));
}

TEST(SearchQueries, QueryEndsAtItsFirstNul) {
  Index index;
  const std::int64_t page = index.AddPage(u"hello world");
  // Only 'world' is asked for: K 150, D 1.
  EXPECT_EQ(SearchAndDrain(index, std::u16string(u"world\0hello", 11)).hits,
            std::vector<Hit>{HitOf(page, 150)});
}

TEST(SearchQueries, LargeRelevanceArrivesAsItsLow32Bits) {
  // Query words 'abcd' and 'e': K 150, D 1, so Percent is the score. A count
  // of 2^31 - 1 makes the weight of 'e' wrap to -30; added to a sum it counts
  // as 2^32 - 30, while starting a sum it keeps its sign.
  Index index;
  index.records.AddRecord(testing::RecordOf(1));
  index.records.AddRecord(testing::RecordOf(2));
  index.records.AddRecord(testing::RecordOf(3));
  index.words.AddWords({{u"abcd", 1}, {u"e", INT32_MAX}}, 1);
  index.words.AddWords({{u"abcd", 1}}, 2);
  index.words.AddWords({{u"e", INT32_MAX}}, 3);
  // Page 1: 120 + 2^32 - 30 = 2^32 + 90, ranked first, Percent 90.
  EXPECT_EQ(SearchAndDrain(index, u"abcd e").hits,
            (std::vector<Hit>{HitOf(1, 90), HitOf(2, 120), HitOf(3, -30)}));
}

TEST(SearchArguments, EmptyQueryIsRefusedBeforeTheResultAddress) {
  Index index;
  index.AddPage(u"hello");
  auto* const sentinel = reinterpret_cast<ISearchDataEnumerator*>(0x1234);
  const std::int32_t locks = ProcessModuleLock().Count();
  platform::UniqueBstr empty(platform::AllocBstr(u""));
  platform::UniqueBstr nul_first(
      platform::AllocBstr(std::u16string(u"\0hello", 6)));
  for (BSTR what : {static_cast<BSTR>(nullptr), empty.get(), nul_first.get()}) {
    ISearchDataEnumerator* result = sentinel;
    EXPECT_EQ(Search(what, &result, index.records, index.words), E_INVALIDARG);
    EXPECT_EQ(result, sentinel);
    EXPECT_EQ(Search(what, nullptr, index.records, index.words), E_INVALIDARG);
  }
  EXPECT_EQ(ProcessModuleLock().Count(), locks);
}

TEST(SearchArguments, NullResultAddressIsRefusedAndCreatesNothing) {
  Index index;
  index.AddPage(u"hello");
  const std::int32_t locks = ProcessModuleLock().Count();
  platform::UniqueBstr what(platform::AllocBstr(u"hello"));
  EXPECT_EQ(Search(what.get(), nullptr, index.records, index.words),
            E_INVALIDARG);
  EXPECT_EQ(ProcessModuleLock().Count(), locks);
}

TEST(SearchArguments, ResultHoldsOneReferenceForTheCaller) {
  Index index;
  index.AddPage(u"hello");
  const std::int32_t locks = ProcessModuleLock().Count();
  HRESULT hr;
  ComPtr<ISearchDataEnumerator> result = SearchOf(index, u"hello", &hr);
  ASSERT_EQ(hr, S_OK);
  EXPECT_EQ(ProcessModuleLock().Count(), locks + 1);
  ISearchDataEnumerator* raw = result.release();
  EXPECT_EQ(raw->Release(), 0u);
  EXPECT_EQ(ProcessModuleLock().Count(), locks);
}

TEST(SearchRecords, HitsWithoutRecordsAreSkipped) {
  Index index;
  const std::int64_t first = index.AddPage(u"hello");
  const std::int64_t second = index.AddPage(u"hello hello");
  const std::int64_t third = index.AddPage(u"hello hello hello");
  index.records.RemoveRecord(third);  // its words stay
  EXPECT_EQ(SearchAndDrain(index, u"hello").hits,
            (std::vector<Hit>{HitOf(second, 300), HitOf(first, 150)}));
  index.records.RemoveRecord(first);
  index.records.RemoveRecord(second);
  index.AddPage(u"unrelated");
  // Records remain, none of a hit: nothing to deliver, and no failure.
  const auto outcome = SearchAndDrain(index, u"hello");
  EXPECT_TRUE(outcome.hits.empty());
  EXPECT_EQ(outcome.last, S_FALSE);
}

TEST(SearchRecords, HitsWithoutAnyRecordInTheIndexFailAlsoAfterReset) {
  Index index;
  const std::int64_t page = index.AddPage(u"hello");
  index.records.RemoveRecord(page);
  ASSERT_TRUE(index.records.GetRecords().empty());
  HRESULT hr;
  ComPtr<ISearchDataEnumerator> result = SearchOf(index, u"hello", &hr);
  ASSERT_EQ(hr, S_OK);
  _URL_DATE_IA_S data{};
  EXPECT_EQ(result->Next(&data), E_FAIL);
  EXPECT_EQ(result->Next(&data), E_FAIL);
  EXPECT_EQ(result->Reset(), S_OK);
  EXPECT_EQ(result->Next(&data), E_FAIL);
  // A query without hits ends normally even so.
  EXPECT_EQ(SearchAndDrain(index, u"absent").last, S_FALSE);
}

TEST(SearchSnapshot, LaterChangesToTheIndexChangeNothing) {
  Index index;
  const std::int64_t first = index.AddPage(u"hello world");
  const std::int64_t second = index.AddPage(u"hello");
  HRESULT hr;
  ComPtr<ISearchDataEnumerator> result = SearchOf(index, u"hello", &hr);
  ASSERT_EQ(hr, S_OK);
  const std::vector<Hit> expected = {HitOf(second, 150), HitOf(first, 150)};

  index.AddPage(u"hello hello hello");
  index.words.RemoveId(first);
  index.records.RemoveRecord(second);
  EXPECT_EQ(Drain(result.get()), expected);
  index.records = CIDContainer();
  index.words = CWordToIdsContainer();
  EXPECT_EQ(result->Reset(), S_OK);
  EXPECT_EQ(Drain(result.get()), expected);
}

TEST(SearchSnapshot, EnumeratorOutlivesTheContainers) {
  auto index = std::make_unique<Index>();
  const std::int64_t page = index->AddPage(u"hello world");
  index->AddPage(u"other");
  HRESULT hr;
  ComPtr<ISearchDataEnumerator> result = SearchOf(*index, u"world", &hr);
  ASSERT_EQ(hr, S_OK);
  index.reset();
  EXPECT_EQ(Drain(result.get()), std::vector<Hit>{HitOf(page, 150)});
  EXPECT_EQ(result->Reset(), S_OK);
  EXPECT_EQ(Drain(result.get()), std::vector<Hit>{HitOf(page, 150)});
}

TEST(SearchSnapshot, EnumeratorHoldsOnlyItsHits) {
  Index index;
  for (int i = 0; i < 50; ++i) index.AddPage(u"filler text");
  const std::int64_t page = index.AddPage(u"rare word");
  CSearchDataEnumerator* enumerator = nullptr;
  HRESULT hr;
  ComPtr<ISearchDataEnumerator> result = SearchOf(index, u"rare", &hr);
  ASSERT_EQ(hr, S_OK);
  std::int64_t address = 0;
  ASSERT_EQ(result->GetThis(&address), S_OK);
  enumerator = reinterpret_cast<CSearchDataEnumerator*>(
      static_cast<std::intptr_t>(address));
  EXPECT_EQ(enumerator->hit_count(), 1u);
  EXPECT_EQ(Drain(result.get()), std::vector<Hit>{HitOf(page, 120)});
}

TEST(SearchOutOfMemory, FailsCleanlyAtEveryAllocation) {
  Index index;
  index.AddPage(u"hello world");
  index.AddPage(u"hello");
  index.AddPage(u"world");
  const std::vector<Hit> expected = SearchAndDrain(index, u"hello world").hits;
  ASSERT_EQ(expected.size(), 3u);
  const std::int32_t locks = ProcessModuleLock().Count();
  platform::UniqueBstr what(platform::AllocBstr(u"hello world"));
  bool succeeded = false;
  for (std::size_t n = 0; !succeeded && n < 500; ++n) {
    ISearchDataEnumerator* result = reinterpret_cast<ISearchDataEnumerator*>(1);
    HRESULT hr;
    {
      testing::FailAllocationsAfter fail(n);
      hr = Search(what.get(), &result, index.records, index.words);
    }
    if (hr == S_OK) {
      succeeded = true;
      ComPtr<ISearchDataEnumerator> owned(result);
      EXPECT_EQ(Drain(owned.get()), expected);
    } else {
      EXPECT_EQ(hr, E_OUTOFMEMORY) << n;
      EXPECT_EQ(result, nullptr) << n;
    }
    EXPECT_EQ(ProcessModuleLock().Count(), locks) << n;
  }
  EXPECT_TRUE(succeeded);
}

}  // namespace
}  // namespace qoinfo
