// The enumerator's methods: what Next delivers and in which order, Reset,
// Count and GetThis.
#include "enumerator/search_data_enumerator.h"

#include <gtest/gtest.h>

#include <climits>
#include <ostream>
#include <string>
#include <vector>

#include "platform/wide_string.h"
#include "tests/enumerator/enumerator_test_support.h"

namespace qoinfo {
namespace {

using testing::ComPtr;
using testing::Drain;
using testing::FilledEnumerator;
using testing::Hit;
using testing::HitOf;
using testing::NextHit;
using testing::RankingRows;

// One expected result of Next: S_OK with the hit of `page` and `percent`,
// or another HRESULT with no hit.
struct Step {
  HRESULT hr;
  std::int64_t page = 0;
  std::int32_t percent = 0;
};
constexpr Step kEnd{S_FALSE};
constexpr Step kFail{E_FAIL};

struct NextCase {
  const char* name;
  RankingRows ranking;  // inserted in this order
  std::vector<std::int64_t> records;
  bool index_had_records;
  std::vector<Step> steps;
};

void PrintTo(const NextCase& c, std::ostream* out) { *out << c.name; }

// Each row: a filled enumerator and the results of successive Next calls.
const NextCase kNextCases[] = {
    {"EmptyRankingEndsAtOnce", {}, {1, 2}, true, {kEnd, kEnd}},
    {"EmptyRankingWithoutRecordsEndsToo", {}, {}, false, {kEnd, kEnd}},
    {"EqualRelevanceLastInsertedFirst",
     {{10, 1}, {50, 2}, {50, 3}},
     {1, 2, 3},
     true,
     {{S_OK, 3, 50}, {S_OK, 2, 50}, {S_OK, 1, 10}, kEnd, kEnd, kEnd}},
    {"DecreasingRelevance",
     {{5, 7}, {300, 8}, {0, 9}, {120, 6}},
     {6, 7, 8, 9},
     true,
     {{S_OK, 8, 300}, {S_OK, 6, 120}, {S_OK, 7, 5}, {S_OK, 9, 0}, kEnd}},
    {"EveryHitLacksItsRecord", {{10, 1}, {20, 2}}, {99}, true, {kEnd, kEnd}},
    {"IndexHadRecordsButNoneOfTheHits", {{10, 1}}, {}, true, {kEnd, kEnd}},
    {"BestHitLacksItsRecord",
     {{10, 1}, {50, 2}},
     {1},
     true,
     {{S_OK, 1, 10}, kEnd}},
    {"MiddleHitsLackTheirRecords",
     {{10, 1}, {20, 2}, {30, 3}, {40, 4}},
     {1, 4},
     true,
     {{S_OK, 4, 40}, {S_OK, 1, 10}, kEnd}},
    {"WorstHitLacksItsRecord",
     {{10, 1}, {20, 2}},
     {2},
     true,
     {{S_OK, 2, 20}, kEnd, kEnd}},
    {"HitsWithoutAnyRecordFail",
     {{10, 1}, {20, 2}},
     {},
     false,
     {kFail, kFail, kFail}},
    {"RelevanceArrivesAsItsLow32Bits",
     {{INT64_MIN, 1},
      {-1, 2},
      {0x7FFFFFFFll, 3},
      {0x80000000ll, 4},
      {0x100000005ll, 5},
      {0x180000001ll, 6},
      {INT64_MAX, 7}},
     {1, 2, 3, 4, 5, 6, 7},
     true,
     {{S_OK, 7, -1},
      {S_OK, 6, INT32_MIN + 1},
      {S_OK, 5, 5},
      {S_OK, 4, INT32_MIN},
      {S_OK, 3, INT32_MAX},
      {S_OK, 2, -1},
      {S_OK, 1, 0},
      kEnd}},
    {"NegativeAndZeroPageIdentifiers",
     {{1, -5}, {2, 0}},
     {-5, 0},
     true,
     {{S_OK, 0, 2}, {S_OK, -5, 1}, kEnd}},
};

class NextTable : public ::testing::TestWithParam<NextCase> {};

TEST_P(NextTable, DeliversTheStepsInOrder) {
  const NextCase& c = GetParam();
  ComPtr<CSearchDataEnumerator> enumerator;
  ASSERT_EQ(CSearchDataEnumerator::Create(enumerator.out()), S_OK);
  enumerator->Fill(testing::RankingOf(c.ranking),
                   testing::RecordsOf(c.records, c.index_had_records));
  for (std::size_t i = 0; i < c.steps.size(); ++i) {
    const Step& step = c.steps[i];
    Hit hit;
    ASSERT_EQ(NextHit(enumerator.get(), &hit), step.hr) << "call " << i;
    if (step.hr == S_OK) {
      EXPECT_EQ(hit, HitOf(step.page, step.percent)) << "call " << i;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Rankings, NextTable, ::testing::ValuesIn(kNextCases),
                         [](const ::testing::TestParamInfo<NextCase>& info) {
                           return std::string(info.param.name);
                         });

TEST(EnumeratorNext, NeverFilledEndsAtOnce) {
  ComPtr<CSearchDataEnumerator> enumerator;
  ASSERT_EQ(CSearchDataEnumerator::Create(enumerator.out()), S_OK);
  _URL_DATE_IA_S data{};
  EXPECT_EQ(enumerator->Next(&data), S_FALSE);
  EXPECT_EQ(enumerator->Next(&data), S_FALSE);
}

TEST(EnumeratorNext, NullDataIsRefusedAndConsumesNothing) {
  auto enumerator = FilledEnumerator({{10, 1}, {20, 2}}, {1, 2});
  EXPECT_EQ(enumerator->Next(nullptr), E_POINTER);
  Hit hit;
  ASSERT_EQ(NextHit(enumerator.get(), &hit), S_OK);
  EXPECT_EQ(hit, HitOf(2, 20));
}

TEST(EnumeratorNext, LeavesDataUntouchedWhenItDeliversNothing) {
  const BSTR sentinel = reinterpret_cast<BSTR>(0x1234);
  const std::pair<RankingRows, std::vector<std::int64_t>> kContents[] = {
      {{}, {1}}, {{{1, 1}}, {}}, {{{1, 1}}, {2}}};
  for (const auto& [rows, pages] : kContents) {
    auto enumerator = FilledEnumerator(rows, pages);
    _URL_DATE_IA_S data{77, sentinel, sentinel, sentinel, 66};
    EXPECT_NE(enumerator->Next(&data), S_OK);
    EXPECT_EQ(data.Time, 77);
    EXPECT_EQ(data.Url, sentinel);
    EXPECT_EQ(data.Path, sentinel);
    EXPECT_EQ(data.Title, sentinel);
    EXPECT_EQ(data.Percent, 66);
  }
}

TEST(EnumeratorNext, FillsEveryFieldWithNewStrings) {
  ComPtr<CSearchDataEnumerator> enumerator;
  ASSERT_EQ(CSearchDataEnumerator::Create(enumerator.out()), S_OK);
  CIDContainer records;
  // Empty strings come out as empty, non-null BSTRs; every unit of a stored
  // string arrives, an embedded NUL included; the time keeps all 64 bits.
  records.InsertLoaded(1, CTimeURLContainer(INT64_MIN, u"", u"", u""));
  records.InsertLoaded(2, CTimeURLContainer(-1, std::u16string(u"u\0rl", 4),
                                            u"p\u00E4th", u"t\U0001F600"));
  enumerator->Fill(testing::RankingOf({{1, 1}, {2, 2}}), records.Snapshot());

  _URL_DATE_IA_S first{};
  ASSERT_EQ(enumerator->Next(&first), S_OK);
  EXPECT_EQ(first.Time, -1);
  EXPECT_EQ(testing::TakeBstr(first.Url), std::u16string(u"u\0rl", 4));
  EXPECT_EQ(testing::TakeBstr(first.Path), u"p\u00E4th");
  EXPECT_EQ(testing::TakeBstr(first.Title), u"t\U0001F600");
  EXPECT_EQ(first.Percent, 2);

  _URL_DATE_IA_S second{};
  ASSERT_EQ(enumerator->Next(&second), S_OK);
  EXPECT_EQ(second.Time, INT64_MIN);
  for (BSTR text : {second.Url, second.Path, second.Title}) {
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(SysStringLen(text), 0u);
    SysFreeString(text);
  }
}

TEST(EnumeratorNext, EachCallHandsOutItsOwnStrings) {
  auto enumerator = FilledEnumerator({{1, 1}}, {1});
  _URL_DATE_IA_S first{}, again{};
  ASSERT_EQ(enumerator->Next(&first), S_OK);
  ASSERT_EQ(enumerator->Reset(), S_OK);
  ASSERT_EQ(enumerator->Next(&again), S_OK);
  EXPECT_NE(first.Url, again.Url);
  EXPECT_NE(first.Path, again.Path);
  EXPECT_NE(first.Title, again.Title);
  for (BSTR text : {first.Url, first.Path, first.Title, again.Url, again.Path,
                    again.Title}) {
    SysFreeString(text);
  }
}

TEST(EnumeratorReset, AfterExhaustionStartsAgainWithTheBest) {
  auto enumerator = FilledEnumerator({{10, 1}, {50, 2}, {50, 3}}, {1, 2, 3});
  const std::vector<Hit> expected = {HitOf(3, 50), HitOf(2, 50), HitOf(1, 10)};
  HRESULT last = S_OK;
  EXPECT_EQ(Drain(enumerator.get(), &last), expected);
  EXPECT_EQ(last, S_FALSE);
  EXPECT_EQ(enumerator->Reset(), S_OK);
  EXPECT_EQ(Drain(enumerator.get(), &last), expected);
  EXPECT_EQ(last, S_FALSE);
}

TEST(EnumeratorReset, MidwayStartsAgainAndSkipsTheSameEntries) {
  auto enumerator =
      FilledEnumerator({{10, 1}, {20, 2}, {30, 3}, {40, 4}}, {1, 3});
  Hit hit;
  ASSERT_EQ(NextHit(enumerator.get(), &hit), S_OK);
  EXPECT_EQ(hit, HitOf(3, 30));
  EXPECT_EQ(enumerator->Reset(), S_OK);
  EXPECT_EQ(Drain(enumerator.get()),
            (std::vector<Hit>{HitOf(3, 30), HitOf(1, 10)}));
}

TEST(EnumeratorReset, HitsWithoutAnyRecordStillFail) {
  auto enumerator = FilledEnumerator({{10, 1}}, {});
  _URL_DATE_IA_S data{};
  EXPECT_EQ(enumerator->Next(&data), E_FAIL);
  EXPECT_EQ(enumerator->Reset(), S_OK);
  EXPECT_EQ(enumerator->Next(&data), E_FAIL);
  EXPECT_EQ(enumerator->Next(&data), E_FAIL);
}

TEST(EnumeratorReset, OnAnEmptyEnumeratorSucceeds) {
  ComPtr<CSearchDataEnumerator> enumerator;
  ASSERT_EQ(CSearchDataEnumerator::Create(enumerator.out()), S_OK);
  EXPECT_EQ(enumerator->Reset(), S_OK);
  _URL_DATE_IA_S data{};
  EXPECT_EQ(enumerator->Next(&data), S_FALSE);
}

TEST(EnumeratorCount, ReportsNothingAndDoesNotMoveTheCursor) {
  auto enumerator = FilledEnumerator({{10, 1}, {20, 2}, {30, 3}}, {1, 2, 3});
  EXPECT_EQ(enumerator->Count(), S_OK);
  Hit hit;
  ASSERT_EQ(NextHit(enumerator.get(), &hit), S_OK);
  EXPECT_EQ(hit, HitOf(3, 30));
  EXPECT_EQ(enumerator->Count(), S_OK);
  EXPECT_EQ(enumerator->Count(), S_OK);
  ASSERT_EQ(NextHit(enumerator.get(), &hit), S_OK);
  EXPECT_EQ(hit, HitOf(2, 20));

  ComPtr<CSearchDataEnumerator> empty;
  ASSERT_EQ(CSearchDataEnumerator::Create(empty.out()), S_OK);
  EXPECT_EQ(empty->Count(), S_OK);
}

TEST(EnumeratorGetThis, GivesTheObjectsAddress) {
  ComPtr<CSearchDataEnumerator> enumerator;
  ASSERT_EQ(CSearchDataEnumerator::Create(enumerator.out()), S_OK);
  ISearchDataEnumerator* primary = enumerator.get();
  std::int64_t address = 0;
  ASSERT_EQ(primary->GetThis(&address), S_OK);
  EXPECT_EQ(address, static_cast<std::int64_t>(
                         reinterpret_cast<std::intptr_t>(enumerator.get())));
  // The primary interface sits at the object's start.
  EXPECT_EQ(address, static_cast<std::int64_t>(
                         reinterpret_cast<std::intptr_t>(primary)));
  EXPECT_EQ(reinterpret_cast<CSearchDataEnumerator*>(
                static_cast<std::intptr_t>(address)),
            enumerator.get());
}

TEST(EnumeratorGetThis, RefusesANullPointer) {
  ComPtr<CSearchDataEnumerator> enumerator;
  ASSERT_EQ(CSearchDataEnumerator::Create(enumerator.out()), S_OK);
  EXPECT_EQ(enumerator->GetThis(nullptr), E_POINTER);
}

}  // namespace
}  // namespace qoinfo
