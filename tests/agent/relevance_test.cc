// The relevance arithmetic on its own: ScoreMatches over a given word map,
// the self-score of a query, and the conversion of scores into Percent.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "agent/search.h"
#include "tests/support/word_map_format.h"

namespace qoinfo {
namespace {

using WordMap = CWordToIdsContainer::WordMap;

std::string Format(const std::vector<std::pair<std::int64_t, std::int64_t>>&
                       entries) {
  std::string out;
  for (const auto& [key, page] : entries) {
    if (!out.empty()) out += ' ';
    out += std::to_string(key) + ':' + std::to_string(page);
  }
  return out;
}

// "score:page ..." in ascending score order, equal scores in page order.
std::string FormatScores(const PageScores& scores) {
  std::vector<std::pair<std::int64_t, std::int64_t>> entries;
  for (const RankedHit& s : scores) entries.emplace_back(s.score, s.page);
  std::stable_sort(entries.begin(), entries.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  return Format(entries);
}

// "percent:page ..." in the reverse of the delivery order.
std::string FormatRanking(std::vector<RankedHit> hits) {
  std::sort(hits.begin(), hits.end(),
            [](const RankedHit& a, const RankedHit& b) { return b.Before(a); });
  std::vector<std::pair<std::int64_t, std::int64_t>> entries;
  for (const RankedHit& hit : hits) entries.emplace_back(hit.percent, hit.page);
  return Format(entries);
}

struct ScoreCase {
  const char* name;
  WordCountMap query;
  WordMap words;
  const char* expected;  // score:page, ascending
};

void PrintTo(const ScoreCase& c, std::ostream* out) { *out << c.name; }

// Each row: a query word map, the index's word map and the scores. A
// weight is 30 x length x the page's count, kept to 32 bits.
const ScoreCase kScoreCases[] = {
    {"EmptyQuery", {}, {{u"hello", {{1, 1}}}}, ""},
    {"WordNotInIndex", {{u"absent", 1}}, {{u"hello", {{1, 1}}}}, ""},
    {"EmptiedWordInIndex", {{u"hello", 1}}, {{u"hello", {}}}, ""},
    {"OneWord", {{u"hello", 1}}, {{u"hello", {{1, 1}, {2, 3}}}}, "150:1 450:2"},
    {"QueryCountPlaysNoPart", {{u"hello", 5}}, {{u"hello", {{1, 1}}}}, "150:1"},
    {"WordsOfAPageAddUp",
     {{u"hello", 1}, {u"world", 1}},
     {{u"hello", {{1, 1}, {2, 2}}},
      {u"other", {{1, 9}}},
      {u"world", {{1, 1}, {3, 1}}}},
     "150:3 300:1 300:2"},
    {"EqualScoresInPageOrder",
     {{u"a", 1}},
     {{u"a", {{3, 1}, {1, 1}, {2, 1}}}},
     "30:1 30:2 30:3"},
    {"EmptyWordWeighsNothing", {{u"", 1}}, {{u"", {{1, 4}}}}, "0:1"},
    {"WrappedWeightStartsASumWithItsSign",
     {{u"e", 1}},
     {{u"e", {{1, INT32_MAX}}}},
     "-30:1"},
    {"WrappedWeightAddsAsUnsigned",
     {{u"abcd", 1}, {u"e", 1}},
     {{u"abcd", {{1, 1}}}, {u"e", {{1, INT32_MAX}}}},
     "4294967386:1"},
    {"SignedStartThenUnsignedAdd",
     {{u"a", 1}, {u"bb", 1}},
     {{u"a", {{1, INT32_MAX}}}, {u"bb", {{1, 1}}}},
     "30:1"},
    {"TwoWrappedWeights",
     {{u"a", 1}, {u"b", 1}},
     {{u"a", {{1, INT32_MAX}}}, {u"b", {{1, INT32_MAX}}}},
     "4294967236:1"},
    {"NegativeCountFromAFile", {{u"ab", 1}}, {{u"ab", {{1, -2}}}}, "-120:1"},
    // Page 0 means "no page" while the sums are made: first in the stream it
    // is summed from zero without a sign and reported only when alone.
    {"PageZeroAlone", {{u"a", 1}}, {{u"a", {{0, 1}}}}, "30:0"},
    {"PageZeroAloneUnsigned",
     {{u"a", 1}},
     {{u"a", {{0, INT32_MAX}}}},
     "4294967266:0"},
    {"PageZeroFirstIsDropped", {{u"a", 1}}, {{u"a", {{0, 1}, {5, 1}}}}, "30:5"},
    {"PageZeroAfterANegativePage",
     {{u"a", 1}},
     {{u"a", {{-1, 1}, {0, 2}}}},
     "30:-1 60:0"},
};

class ScoreMatchesTable : public ::testing::TestWithParam<ScoreCase> {};

TEST_P(ScoreMatchesTable, GivesTheScores) {
  const ScoreCase& c = GetParam();
  EXPECT_EQ(FormatScores(ScoreMatches(c.query, c.words)), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Indexes, ScoreMatchesTable,
                         ::testing::ValuesIn(kScoreCases),
                         [](const ::testing::TestParamInfo<ScoreCase>& info) {
                           return std::string(info.param.name);
                         });

struct SelfScoreCase {
  WordCountMap query;
  std::int64_t expected;
};

void PrintTo(const SelfScoreCase& c, std::ostream* out) {
  *out << testing::FormatWordMap(c.query);
}

const SelfScoreCase kSelfScoreCases[] = {
    {{}, 0},
    {{{u"hello", 1}}, 150},
    {{{u"hello", 1}, {u"world", 1}}, 300},
    {{{u"hello", 2}}, 300},
    {{{u"", 1}}, 0},
    {{{u"", 3}, {u"hello", 1}}, 150},
    {{{u"a", 1}, {u"bc", 1}}, 90},
    {{{u"e", INT32_MAX}}, -30},
    {{{u"abcd", 1}, {u"e", INT32_MAX}}, 4294967386},
};

class SelfScoreTable : public ::testing::TestWithParam<SelfScoreCase> {};

TEST_P(SelfScoreTable, IsTheScoreOfThePageHoldingTheQuery) {
  const SelfScoreCase& c = GetParam();
  EXPECT_EQ(SelfScore(c.query), c.expected) << testing::FormatWordMap(c.query);
  // The same as scoring an index that holds only the query under page 1.
  CWordToIdsContainer alone;
  alone.AddWords(c.query, 1);
  const PageScores scores = ScoreMatches(c.query, alone.GetWords());
  EXPECT_EQ(FormatScores(scores),
            c.query.empty() ? "" : std::to_string(c.expected) + ":1");
}

INSTANTIATE_TEST_SUITE_P(Queries, SelfScoreTable,
                         ::testing::ValuesIn(kSelfScoreCases));

struct PercentCase {
  const char* name;
  std::vector<std::pair<std::int64_t, std::int64_t>> scores;  // (score, page)
                                                               // in page order
  std::int64_t self_score;
  const char* expected;  // percent:page, in ranking order
};

void PrintTo(const PercentCase& c, std::ostream* out) { *out << c.name; }

const PercentCase kPercentCases[] = {
    {"ZeroSelfScoreRanksNothing", {{150, 1}}, 0, ""},
    {"NegativeSelfScoreRanksNothing", {{150, 1}}, -30, ""},
    {"WorkedExamples", {{300, 1}, {450, 2}, {150, 3}}, 300, "50:3 100:1 150:2"},
    {"DivisorIsSelfScoreDiv100", {{199, 1}}, 199, "199:1"},
    {"QuotientTruncatesTowardZero", {{210, 1}, {-210, 2}}, 420, "-52:2 52:1"},
    // Equal Percent values keep the order of the scores, equal scores
    // their page order.
    {"EqualPercentKeepsTheOrderOfTheScores",
     {{210, 1}, {210, 2}, {211, 4}, {208, 9}},
     420,
     "52:9 52:1 52:2 52:4"},
    {"SmallSelfScoreExactRatio", {{60, 1}, {120, 2}}, 60, "100:1 200:2"},
    {"SmallSelfScoreTruncates", {{30, 1}, {50, 2}}, 90, "33:1 55:2"},
    {"SelfScoreOne", {{7, 1}}, 1, "700:1"},
    {"SelfScore99", {{99, 1}, {-30, 2}}, 99, "-30:2 100:1"},
    {"LargeScoreKept", {{4294967386, 1}}, 150, "4294967386:1"},
    {"QuotientBeyond64Bits", {{INT64_MAX, 1}}, 100, "-9223372036854775808:1"},
};

class PercentTable : public ::testing::TestWithParam<PercentCase> {};

TEST_P(PercentTable, GivesTheRanking) {
  const PercentCase& c = GetParam();
  PageScores scores;
  for (const auto& [score, page] : c.scores) scores.push_back({0, score, page});
  EXPECT_EQ(FormatRanking(ToRankedHits(scores, c.self_score)), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Scores, PercentTable,
                         ::testing::ValuesIn(kPercentCases),
                         [](const ::testing::TestParamInfo<PercentCase>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace qoinfo
