// Search against a brute-force reference on random indexes and queries. The
// reference follows the defined algorithm step by step, with no shortcut:
// full copies of both containers, every word of the index walked, the
// temporary multimaps, and the enumerator's walk over a copy of every record.
// The two must agree on every hit, its order and Percent, and on how the
// enumeration ends; and an enumerator must keep its answer when the index
// changes or is destroyed afterwards, whether it was read before or not.
#include <gtest/gtest.h>

#include <array>
#include <iterator>
#include <memory>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "agent/search.h"
#include "agent/word_extraction.h"
#include "tests/agent/search_test_support.h"

namespace qoinfo {
namespace {

using testing::ComPtr;
using testing::Drain;
using testing::Hit;
using testing::Index;

struct Answer {
  HRESULT hr = S_OK;  // of Search
  std::vector<Hit> hits;
  HRESULT last = S_OK;  // of the Next call that ended the hits
  bool operator==(const Answer&) const = default;
};

void PrintTo(const Answer& answer, std::ostream* out) {
  *out << "hr " << std::hex << answer.hr << " last " << answer.last << std::dec
       << " hits";
  for (const Hit& hit : answer.hits) {
    *out << " ";
    testing::PrintTo(hit, out);
  }
}

// --- The reference -----------------------------------------------------------

using Multimap = std::multimap<std::int64_t, std::int64_t>;

Multimap ReferenceScoreMatches(const WordCountMap& query,
                               const CWordToIdsContainer::WordMap& words) {
  // Phase one: every word of the index, in order; weights in 32 bits.
  std::multimap<std::int64_t, std::int32_t> weights;
  for (const auto& [word, postings] : words) {
    if (query.find(word) == query.end()) continue;
    for (const auto& [page, count] : postings) {
      const std::uint64_t product =
          std::uint64_t{30} * word.size() * static_cast<std::uint64_t>(count);
      weights.emplace(
          page, static_cast<std::int32_t>(static_cast<std::uint32_t>(product)));
    }
  }
  // Phase two: one sum per page, later weights added as unsigned values.
  Multimap scores;
  if (weights.empty()) return scores;
  std::int64_t sum = 0, previous = 0;
  for (const auto& [page, weight] : weights) {
    if (page == previous) {
      sum = static_cast<std::int64_t>(static_cast<std::uint64_t>(sum) +
                                      static_cast<std::uint32_t>(weight));
    } else {
      if (previous != 0) scores.emplace(sum, previous);
      previous = page;
      sum = weight;
    }
  }
  scores.emplace(sum, previous);
  return scores;
}

Multimap ReferencePercents(const Multimap& scores, std::int64_t self_score) {
  Multimap ranking;
  if (self_score <= 0) return ranking;
  const std::int64_t divisor = self_score / 100;
  for (const auto& [score, page] : scores) {
    // The scores of these tests stay far from the ends of 64 bits.
    const std::int64_t percent =
        divisor == 0 ? score * 100 / self_score
                     : static_cast<std::int64_t>(static_cast<double>(score) /
                                                 static_cast<double>(divisor));
    ranking.emplace(percent, page);
  }
  return ranking;
}

Answer ReferenceSearch(std::u16string_view query_text, const Index& live) {
  Answer answer;
  platform::UniqueBstr what(platform::AllocBstr(query_text));
  const std::u16string query_string = platform::FromOleString(what.get());
  if (query_string.empty()) {
    answer.hr = E_INVALIDARG;
    return answer;
  }
  const WordCountMap query = ExtractWords(what.get());
  CWordToIdsContainer alone;
  alone.AddWords(query, 1);
  const Multimap self = ReferenceScoreMatches(query, alone.GetWords());
  const std::int64_t self_score = self.begin()->first;
  // A copy, so that the live index keeps the removals it has only noted.
  const CWordToIdsContainer words = live.words;
  const Multimap ranking = ReferencePercents(
      ReferenceScoreMatches(query, words.GetWords()), self_score);
  const CIDContainer::RecordMap records = live.records.GetRecords();

  // The enumerator, walked from the end of the ranking.
  if (ranking.empty()) {
    answer.last = S_FALSE;
    return answer;
  }
  if (records.empty()) {
    answer.last = E_FAIL;
    return answer;
  }
  auto cursor = ranking.end();
  for (;;) {
    if (cursor == ranking.begin()) {
      answer.last = S_FALSE;
      return answer;
    }
    auto entry = std::prev(cursor);
    auto record = records.find(entry->second);
    while (record == records.end()) {
      --cursor;
      if (cursor == ranking.begin()) {
        answer.last = S_FALSE;
        return answer;
      }
      entry = std::prev(cursor);
      record = records.find(entry->second);
    }
    const CTimeURLContainer& r = record->second;
    answer.hits.push_back({r.m_time, r.m_url, r.m_path, r.m_title,
                           static_cast<std::int32_t>(entry->first)});
    --cursor;
  }
}

// --- Random indexes and queries ----------------------------------------------

// Words of various lengths (1 to 14 units, a surrogate pair, upper case,
// separators to trim) that texts and queries draw from.
const std::array<std::u16string_view, 18> kVocabulary = {
    u"a",
    u"b",
    u"ab",
    u"abc",
    u"abcd",
    u"e",
    u"hello",
    u"World",
    u"Hello,",
    u"(x)",
    u"...",
    u"\u00E9cole",
    u"\u00C9COLE",
    u"\U0001F600",
    u"zz",
    u"x",
    u"longerwordhere",
    u"\"quoted\"",
};
const std::array<std::u16string_view, 5> kSpaces = {u" ", u"  ", u"\t", u"\n ",
                                                    u"\u3000"};

class RandomSource {
 public:
  explicit RandomSource(std::uint64_t seed) : engine_(seed) {}
  // 0 to n - 1.
  std::uint64_t Below(std::uint64_t n) { return engine_() % n; }
  bool Chance(int percent) {
    return Below(100) < static_cast<unsigned>(percent);
  }

  std::u16string Text(int max_words) {
    std::u16string text;
    if (Chance(15)) text += kSpaces[Below(kSpaces.size())];  // the empty word
    const int words = 1 + static_cast<int>(Below(max_words));
    for (int i = 0; i < words; ++i) {
      if (i > 0) text += kSpaces[Below(kSpaces.size())];
      text += kVocabulary[Below(kVocabulary.size())];
    }
    if (Chance(10)) text += u" ";
    return text;
  }

  std::u16string Query() {
    switch (Below(20)) {
      case 0:
        return std::u16string(kSpaces[Below(kSpaces.size())]);
      case 1:
        return u"";
      case 2:
        return u"unknownword";
      case 3:
        return u" " + Text(2);
      default:
        return Text(3);
    }
  }

  std::int32_t Count() {
    switch (Below(10)) {
      case 0:
        return INT32_MAX;
      case 1:
        return static_cast<std::int32_t>(Below(INT32_MAX));
      case 2:
        return INT32_MAX / 7;
      default:
        return 1 + static_cast<std::int32_t>(Below(5));
    }
  }

 private:
  std::mt19937_64 engine_;
};

// Builds an index by `operations` random steps: pages added (some visits
// repeated), identifiers taken out of the words or out of the records or
// both, and words filed directly under pages without records, some with
// counts whose weights wrap.
void FillRandomly(RandomSource& random, int operations, Index* index) {
  for (int i = 0; i < operations; ++i) {
    const std::int64_t last = index->records.lastId();
    const std::uint64_t kind = random.Below(100);
    if (kind < 60 || last == 0) {
      const std::int64_t time = static_cast<std::int64_t>(random.Below(40));
      const std::u16string url = testing::Numbered(
          u"http://r/", static_cast<std::int64_t>(random.Below(30)));
      platform::UniqueBstr u(platform::AllocBstr(url));
      platform::UniqueBstr text(platform::AllocBstr(random.Text(6)));
      platform::UniqueBstr path(platform::AllocBstr(url + u"/path"));
      platform::UniqueBstr title(platform::AllocBstr(u"T " + url));
      AddData({time, u.get(), text.get(), path.get(), title.get()},
              index->records, index->words);
    } else if (kind < 70) {
      index->words.RemoveId(1 + static_cast<std::int64_t>(random.Below(last)));
    } else if (kind < 80) {
      index->records.RemoveRecord(
          1 + static_cast<std::int64_t>(random.Below(last)));
    } else if (kind < 85) {
      const std::int64_t page =
          1 + static_cast<std::int64_t>(random.Below(last));
      index->words.RemoveId(page);
      index->records.RemoveRecord(page);
    } else {
      // Words of a page that has no record, or of an existing page.
      WordCountMap counts;
      const int words = 1 + static_cast<int>(random.Below(3));
      for (int w = 0; w < words; ++w) {
        const std::u16string_view word =
            kVocabulary[random.Below(kVocabulary.size())];
        counts[TrimSeparators(std::u16string(word))] = random.Count();
      }
      std::int64_t page =
          kind < 95 ? last + 1 + static_cast<std::int64_t>(random.Below(50))
                    : 1 + static_cast<std::int64_t>(random.Below(last));
      if (random.Chance(15)) {
        // Page 0 and negative pages, as a damaged file could bring them,
        // sometimes with a record.
        page = -static_cast<std::int64_t>(random.Below(3));
        if (random.Chance(50)) {
          index->records.InsertLoaded(page, testing::RecordOf(page));
        }
      }
      index->words.AddWords(counts, page);
    }
  }
  // Now and then an index whose records are all gone while words remain.
  if (random.Chance(8)) {
    const std::int64_t last = index->records.lastId();
    index->records = CIDContainer();
    index->records.SetLastId(last);
  }
}

Answer Searched(std::u16string_view query, const Index& index,
                ComPtr<ISearchDataEnumerator>* kept) {
  Answer answer;
  ComPtr<ISearchDataEnumerator> enumerator =
      testing::SearchOf(index, query, &answer.hr);
  if (answer.hr != S_OK) return answer;
  answer.hits = Drain(enumerator.get(), &answer.last);
  // A drained enumerator keeps answering S_FALSE (or E_FAIL).
  _URL_DATE_IA_S data{};
  EXPECT_EQ(enumerator->Next(&data), answer.last);
  if (kept != nullptr) *kept = std::move(enumerator);
  return answer;
}

// Drains a kept enumerator again from its start.
Answer Replayed(ISearchDataEnumerator* enumerator) {
  Answer answer;
  EXPECT_EQ(enumerator->Reset(), S_OK);
  answer.hits = Drain(enumerator, &answer.last);
  return answer;
}

struct Round {
  std::uint64_t seed;
  int rounds;
  int operations;
  int queries;
};

void CompareWithReference(const Round& plan) {
  RandomSource random(plan.seed);
  int cases = 0, hits = 0, failures = 0;
  for (int round = 0; round < plan.rounds; ++round) {
    auto index = std::make_unique<Index>();
    FillRandomly(random, plan.operations, index.get());
    std::vector<ComPtr<ISearchDataEnumerator>> kept;
    std::vector<Answer> expected;
    for (int q = 0; q < plan.queries; ++q) {
      const std::u16string query = random.Query();
      const Answer reference = ReferenceSearch(query, *index);
      ComPtr<ISearchDataEnumerator> enumerator;
      // Every other enumerator is first read only after the index changed.
      if (q % 2 == 1) {
        HRESULT hr = S_OK;
        enumerator = testing::SearchOf(*index, query, &hr);
        ASSERT_EQ(hr, reference.hr);
        if (hr == S_OK) {
          kept.push_back(std::move(enumerator));
          expected.push_back(reference);
        }
        continue;
      }
      const Answer answer = Searched(query, *index, &enumerator);
      ASSERT_EQ(answer, reference)
          << "seed " << plan.seed << " round " << round << " query '"
          << platform::Utf16ToUtf8(query) << "'";
      ++cases;
      hits += static_cast<int>(answer.hits.size());
      failures += answer.last == E_FAIL;
      if (answer.hr == S_OK) {
        kept.push_back(std::move(enumerator));
        expected.push_back(reference);
        expected.back().hr = S_OK;
      }
    }
    // The answers stay as they were while the index changes, and after the
    // index is gone.
    FillRandomly(random, plan.operations / 2, index.get());
    for (std::size_t i = 0; i < kept.size(); ++i) {
      ASSERT_EQ(Replayed(kept[i].get()), expected[i])
          << "seed " << plan.seed << " round " << round << " after changes";
    }
    index.reset();
    for (std::size_t i = 0; i < kept.size(); ++i) {
      ASSERT_EQ(Replayed(kept[i].get()), expected[i])
          << "seed " << plan.seed << " round " << round << " after the index";
    }
  }
  // The random cases reach what they are meant to reach.
  EXPECT_GT(hits, cases);
  EXPECT_GT(failures, 0);
}

TEST(SearchAgainstReference, SmallIndexes) {
  CompareWithReference({20240601, 300, 40, 12});
}

TEST(SearchAgainstReference, SmallIndexesAnotherSeed) {
  CompareWithReference({7, 300, 25, 12});
}

TEST(SearchAgainstReference, LargerIndexes) {
  CompareWithReference({99991, 12, 600, 40});
}

}  // namespace
}  // namespace qoinfo
