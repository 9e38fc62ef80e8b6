// Search against a brute-force reference on random indexes and queries. The
// reference follows the defined algorithm step by step, with no shortcut:
// full copies of both containers, every word of the index walked, the
// temporary multimaps, and the enumerator's walk over a copy of every record.
// The two must agree on every hit, its order and Percent, and on how the
// enumeration ends; and an enumerator must keep its answer when the index
// changes or is destroyed afterwards, whether it was read before or not.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <iterator>
#include <map>
#include <set>
#include <memory>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "agent/find.h"
#include "agent/search.h"
#include "agent/snippet.h"
#include "agent/word_extraction.h"
#include "index/index_files.h"
#include "index/page_change.h"
#include "platform/text_case.h"
#include "platform/white_space_units.h"
#include "tests/agent/search_test_support.h"
#include "tests/support/memory_stream.h"
#include "tests/support/temp_dir.h"

namespace qoinfo {
namespace {

using testing::ComPtr;
using testing::Drain;
using testing::Hit;
using testing::Index;

struct Answer {
  static Answer Refused() { return {E_INVALIDARG, {}, S_OK}; }
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

std::int64_t ReferenceSelfScore(const WordCountMap& query) {
  CWordToIdsContainer alone;
  alone.AddWords(query, 1);
  return ReferenceScoreMatches(query, alone.GetWords()).begin()->first;
}

// The enumerator, walked from the end of the ranking.
Answer ReferenceEnumeration(const Multimap& ranking, const Index& live) {
  Answer answer;
  const CIDContainer::RecordMap records = live.records.GetRecords();
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

Answer ReferenceSearch(std::u16string_view query_text, const Index& live) {
  platform::UniqueBstr what(platform::AllocBstr(query_text));
  if (platform::FromOleString(what.get()).empty()) return Answer::Refused();
  const WordCountMap query = ExtractWords(what.get());
  // A copy, so that the live index keeps the removals it has only noted.
  const CWordToIdsContainer words = live.words;
  return ReferenceEnumeration(
      ReferencePercents(ReferenceScoreMatches(query, words.GetWords()),
                        ReferenceSelfScore(query)),
      live);
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

// The history's texts as a test keeps them: the first text filed for each
// visit, for most pages.
class FakePageTexts final : public PageTextSource {
 public:
  bool TextOf(std::int64_t time, std::u16string_view url,
              std::u16string* text) override {
    const auto found = texts.find({time, std::u16string(url)});
    if (found == texts.end()) return false;
    *text = found->second;
    return true;
  }
  std::map<std::pair<std::int64_t, std::u16string>, std::u16string> texts;
};

// Builds an index by `operations` random steps: pages added (some visits
// repeated), identifiers taken out of the words or out of the records or
// both, and words filed directly under pages without records, some with
// counts whose weights wrap. With `texts`, most pages' texts are kept there.
void FillRandomly(RandomSource& random, int operations, Index* index,
                  FakePageTexts* texts = nullptr) {
  for (int i = 0; i < operations; ++i) {
    const std::int64_t last = index->records.lastId();
    const std::uint64_t kind = random.Below(100);
    if (kind < 60 || last == 0) {
      const std::int64_t time = static_cast<std::int64_t>(random.Below(40));
      const std::u16string url = testing::Numbered(
          u"http://r/", static_cast<std::int64_t>(random.Below(30)));
      platform::UniqueBstr u(platform::AllocBstr(url));
      const std::u16string page_text = random.Text(6);
      if (texts != nullptr && random.Chance(90)) {
        texts->texts.emplace(std::pair{time, url}, page_text);
      }
      platform::UniqueBstr text(platform::AllocBstr(page_text));
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

// --- Find: prefixes and phrases against the reference -------------------------

// The words of a text as the reference reads them: lowered, split, trimmed,
// words of separators only left out.
std::vector<std::u16string> ReferenceWords(std::u16string text) {
  platform::LowerCaseInPlace(text);
  std::vector<std::u16string> tokens, words;
  SplitAtWhiteSpace(text, &tokens);
  for (const std::u16string& token : tokens) {
    std::u16string word = TrimSeparators(token);
    if (!word.empty()) words.push_back(std::move(word));
  }
  return words;
}

bool ReferenceHoldsRun(const std::vector<std::u16string>& words,
                       const std::vector<std::u16string>& run) {
  for (std::size_t at = 0; at + run.size() <= words.size(); ++at) {
    bool all = true;
    for (std::size_t i = 0; i < run.size(); ++i) all &= words[at + i] == run[i];
    if (all) return true;
  }
  return false;
}

Answer ReferenceFind(std::u16string_view query_text, bool prefix,
                     const Index& live, FakePageTexts& texts) {
  platform::UniqueBstr what(platform::AllocBstr(query_text));
  std::u16string typed = platform::FromOleString(what.get());
  if (typed.empty()) return Answer::Refused();
  const WordCountMap query = ExtractWords(what.get());
  platform::LowerCaseInPlace(typed);

  // Quotes in pairs, in order; the words between a pair, two or more.
  std::vector<std::size_t> quotes;
  for (std::size_t i = 0; i < typed.size(); ++i) {
    if (typed[i] == u'"') quotes.push_back(i);
  }
  std::vector<std::vector<std::u16string>> phrases;
  for (std::size_t q = 0; q + 1 < quotes.size(); q += 2) {
    auto words = ReferenceWords(
        typed.substr(quotes[q] + 1, quotes[q + 1] - quotes[q] - 1));
    if (words.size() >= 2) phrases.push_back(std::move(words));
  }
  // The last token, unless white space ends the query or it touches a pair.
  std::u16string begun;
  if (prefix && !platform::SplitSpaceUnits()[typed.back()]) {
    std::vector<std::u16string> tokens;
    SplitAtWhiteSpace(typed, &tokens);
    const std::size_t start = typed.size() - tokens.back().size();
    bool touches = false;
    for (std::size_t q = 0; q + 1 < quotes.size(); q += 2) {
      touches |= quotes[q] < typed.size() && quotes[q + 1] >= start;
    }
    if (!touches) begun = TrimSeparators(tokens.back());
  }

  const CWordToIdsContainer copy = live.words;
  const CWordToIdsContainer::WordMap all = copy.GetWords();
  WordCountMap scored = query;
  std::size_t expanded = 0;
  for (const auto& [word, postings] : all) {
    if (!begun.empty() && word.starts_with(begun) && expanded < kMaxPrefixWords) {
      scored[word] = 1;
      ++expanded;
    }
  }
  Multimap ranking = ReferencePercents(ReferenceScoreMatches(scored, all),
                                       ReferenceSelfScore(query));
  if (!phrases.empty()) {
    const CIDContainer::RecordMap records = live.records.GetRecords();
    std::erase_if(ranking, [&](const auto& entry) {
      const auto record = records.find(entry.second);
      std::u16string text;
      if (record == records.end() ||
          !texts.TextOf(record->second.m_time, record->second.m_url, &text)) {
        return true;
      }
      const auto words = ReferenceWords(platform::FromOleString(
          platform::UniqueBstr(platform::AllocBstr(text)).get()));
      for (const auto& phrase : phrases) {
        for (const std::u16string& word : phrase) {
          const auto found = all.find(word);
          if (found == all.end() || found->second.count(entry.second) == 0) {
            return true;
          }
        }
        if (!ReferenceHoldsRun(words, phrase)) return true;
      }
      return false;
    });
  }
  return ReferenceEnumeration(ranking, live);
}

// Queries for Find: the random queries, phrases cut from the kept texts
// (sometimes two, or with a word beside them), phrases of parts of words,
// words cut short, a quote left open.
std::u16string FindQueryOf(RandomSource& random, const FakePageTexts& texts) {
  auto phrase = [&]() -> std::u16string {
    if (texts.texts.empty()) return u"\"hello world\"";
    auto text = texts.texts.begin();
    std::advance(text, random.Below(texts.texts.size()));
    std::vector<std::u16string> tokens;
    SplitAtWhiteSpace(text->second, &tokens);
    std::erase(tokens, u"");
    const std::size_t length = 1 + random.Below(3);
    const std::size_t from = random.Below(tokens.size());
    std::u16string quoted = u"\"";
    for (std::size_t i = from; i < std::min(tokens.size(), from + length); ++i) {
      quoted += (i > from ? u" " : u"") + tokens[i];
    }
    return quoted + u"\"";
  };
  auto cut = [&]() {
    const std::u16string word(kVocabulary[random.Below(kVocabulary.size())]);
    return word.substr(0, 1 + random.Below(word.size()));
  };
  auto part = [&]() {
    const std::u16string word(kVocabulary[random.Below(kVocabulary.size())]);
    return random.Chance(50) ? word.substr(random.Below(word.size()))
                             : word.substr(0, 1 + random.Below(word.size()));
  };
  switch (random.Below(9)) {
    case 8: {  // words that lie inside longer ones
      constexpr std::u16string_view kShort[] = {u"a", u"ab", u"abc", u"b"};
      if (random.Chance(50)) return u"\"" + part() + u" " + part() + u"\"";
      return u"\"" + std::u16string(kShort[random.Below(4)]) + u" " +
             std::u16string(kShort[random.Below(4)]) + u"\"";
    }
    case 0:
    case 1:
      return random.Query();
    case 2:
      return phrase();
    case 3:
      return random.Text(2) + u" " + phrase();
    case 4:
      return phrase() + u" " + phrase();
    case 5:
      return u"\"" + random.Text(2);
    case 6:
      return phrase() + u" " + cut();
    default:
      return random.Text(2) + u" " + cut();
  }
}

void CompareFindWithReference(const Round& plan) {
  RandomSource random(plan.seed);
  int phrase_hits = 0, prefix_hits = 0;
  for (int round = 0; round < plan.rounds; ++round) {
    Index index;
    FakePageTexts texts;
    FillRandomly(random, plan.operations, &index, &texts);
    for (int q = 0; q < plan.queries; ++q) {
      const std::u16string query = FindQueryOf(random, texts);
      const bool prefix = random.Chance(60);
      Answer answer;
      ComPtr<ISearchDataEnumerator> enumerator;
      answer.hr = Find(query, FindOptions{prefix}, texts, enumerator.out(),
                       index.records, index.words);
      if (answer.hr == S_OK) answer.hits = Drain(enumerator.get(), &answer.last);
      ASSERT_EQ(answer, ReferenceFind(query, prefix, index, texts))
          << "seed " << plan.seed << " round " << round << " query '"
          << platform::Utf16ToUtf8(query) << "' prefix " << prefix;
      // Summed in blocks of a few pages, a query's words score as merged.
      platform::UniqueBstr what(platform::AllocBstr(query));
      std::vector<ScoredWord> lists;
      CWordToIdsContainer::Scratch scratch;
      const WordCountMap counts = ExtractWords(what.get());
      for (const auto& [word, count] : counts) {
        lists.push_back({index.words.SearchPostings(word, &scratch), word.size()});
      }
      ASSERT_EQ(ScoreWords(lists, index.words, 1 + random.Below(4)),
                ScoreMatches(counts, index.words));
      const bool quoted = query.find(u'"') != std::u16string::npos;
      (quoted ? phrase_hits : prefix_hits) += static_cast<int>(answer.hits.size());
    }
  }
  // The cases reach both kinds of hits.
  EXPECT_GT(phrase_hits, plan.rounds);
  EXPECT_GT(prefix_hits, plan.rounds);
}

TEST(FindAgainstReference, PrefixesAndPhrases) {
  for (const Round& plan : {Round{11, 150, 40, 16}, Round{2026, 150, 25, 16},
                            Round{424242, 8, 600, 40}}) {
    CompareFindWithReference(plan);
  }
}

// --- The mapped image against the loaded files ------------------------------

template <typename Container>
std::string Serialized(Container& container) {
  testing::MemoryStream stream;
  EXPECT_EQ(container.Serialize(&stream, false), S_OK);
  return stream.bytes();
}

// Both indexes hold the same and answer random searches and finds alike.
void ExpectSameIndex(Index& a, Index& b, RandomSource& random,
                     FakePageTexts& texts, int queries,
                     const std::string& where) {
  ASSERT_EQ(a.records.lastId(), b.records.lastId()) << where;
  ASSERT_EQ(a.records.RecordCount(), b.records.RecordCount()) << where;
  ASSERT_EQ(a.records.GetRecords(), b.records.GetRecords()) << where;
  ASSERT_EQ(a.words.WordCount(), b.words.WordCount()) << where;
  ASSERT_EQ(a.words.PostingCount(), b.words.PostingCount()) << where;
  ASSERT_EQ(a.words.GetWords(), b.words.GetWords()) << where;
  ASSERT_EQ(Serialized(a.records), Serialized(b.records)) << where;
  ASSERT_EQ(Serialized(a.words), Serialized(b.words)) << where;
  for (int q = 0; q < queries; ++q) {
    const std::u16string query =
        q % 2 == 0 ? random.Query() : FindQueryOf(random, texts);
    const bool prefix = random.Chance(60);
    Answer answers[2];
    Index* indexes[2] = {&a, &b};
    for (int i = 0; i < 2; ++i) {
      ComPtr<ISearchDataEnumerator> enumerator;
      answers[i].hr = Find(query, FindOptions{prefix}, texts, enumerator.out(),
                           indexes[i]->records, indexes[i]->words);
      if (answers[i].hr == S_OK) {
        answers[i].hits = Drain(enumerator.get(), &answers[i].last);
      }
    }
    ASSERT_EQ(answers[0], answers[1]) << where << " query '"
                                      << platform::Utf16ToUtf8(query)
                                      << "' prefix " << prefix;
  }
}

// A page added or removed, in the visits FillRandomly uses: pages of the
// image found again, removed, and filed anew, their words mostly known.
PageChange RandomChange(RandomSource& random, FakePageTexts* texts) {
  PageChange change;
  const std::int64_t time = static_cast<std::int64_t>(random.Below(40));
  const std::u16string url = testing::Numbered(
      u"http://r/", static_cast<std::int64_t>(random.Below(30)));
  if (random.Chance(40)) {
    change.kind = PageChange::Kind::kPageRemoved;
    change.record = CTimeURLContainer(time, url, u"", u"");
    return change;
  }
  const std::u16string text = random.Text(6);
  texts->texts.emplace(std::pair{time, url}, text);
  change.record = CTimeURLContainer(time, url, url + u"/path", u"T " + url);
  const platform::UniqueBstr what(platform::AllocBstr(text));
  change.words = ExtractWords(what.get());
  return change;
}

// The counter, or the highest page the words name when that is above it.
std::int64_t HighestPage(const Index& index) {
  std::int64_t highest = index.records.lastId();
  index.words.ForEachWord([&](std::u16string_view, const PostingsView& list) {
    highest = std::max(highest, list.last_id());
  });
  return highest;
}

// An image is made only of an index whose words name no page above the
// counter (damaged files aside): the counter is raised to cover them.
void CoverPostings(Index* index) { index->records.SetLastId(HighestPage(*index)); }

struct ImageRound {
  std::uint64_t seed;
  int rounds;
  int operations;  // of the index the image is made of
  int changes;     // since the image
  int queries;
};

void CompareImageWithFiles(const ImageRound& plan) {
  RandomSource random(plan.seed);
  for (int round = 0; round < plan.rounds; ++round) {
    const std::string where =
        "seed " + std::to_string(plan.seed) + " round " + std::to_string(round);
    FakePageTexts texts;
    testing::TempDir dir;
    {
      Index built;
      FillRandomly(random, plan.operations, &built, &texts);
      // Pages above the counter in the words: no image, and none left.
      if (random.Chance(20)) {
        ASSERT_EQ(SaveIndexFiles(dir.u16(), built.records, built.words), S_OK);
        const HRESULT hr = SaveIndexImage(dir.u16(), built.records, built.words);
        ASSERT_EQ(hr == S_OK, HighestPage(built) == built.records.lastId())
            << where;
        ASSERT_EQ(std::filesystem::exists(dir / "index.image"), hr == S_OK);
      }
      CoverPostings(&built);
      ASSERT_EQ(SaveIndexFiles(dir.u16(), built.records, built.words), S_OK);
      ASSERT_EQ(SaveIndexImage(dir.u16(), built.records, built.words), S_OK);
    }
    Index loaded, mapped;
    ASSERT_EQ(LoadIndexFiles(dir.u16(), loaded.records, loaded.words).hr, S_OK);
    ImageProblem problem = ImageProblem::kNone;
    auto image = OpenIndexImage(dir.u16(), &problem);
    ASSERT_NE(image, nullptr) << where << " " << static_cast<int>(problem);
    mapped.records.AttachImage(image);
    mapped.words.AttachImage(std::move(image));
    ExpectSameIndex(loaded, mapped, random, texts, plan.queries, where);

    // A snapshot taken before a page of the image leaves still finds it.
    std::vector<std::int64_t> ids;
    mapped.records.ForEachRecord(
        [&](std::int64_t id, const RecordView&) {
          if (id > 0) ids.push_back(id);  // a change finds pages from 1 up
        });
    std::int64_t kept_id = 0;
    CTimeURLContainer kept;
    std::shared_ptr<const RecordSnapshot> snapshot;
    if (!ids.empty()) {
      ASSERT_TRUE(mapped.records.GetRecord(ids[random.Below(ids.size())], &kept));
      kept_id = mapped.records.FindRecord(kept);
      ASSERT_TRUE(mapped.records.GetRecord(kept_id, &kept));
      snapshot = mapped.records.Snapshot();
      PageChange removal;
      removal.kind = PageChange::Kind::kPageRemoved;
      removal.record = kept;
      ASSERT_EQ(ApplyPageChange(removal, loaded.records, loaded.words), S_OK);
      ASSERT_EQ(ApplyPageChange(removal, mapped.records, mapped.words), S_OK);
    }

    // The same changes on both, then the words filed and taken out directly.
    for (int c = 0; c < plan.changes; ++c) {
      const PageChange change = RandomChange(random, &texts);
      ASSERT_EQ(ApplyPageChange(change, loaded.records, loaded.words),
                ApplyPageChange(change, mapped.records, mapped.words))
          << where;
    }
    RandomSource twin = random;
    FakePageTexts twin_texts = texts;
    FillRandomly(random, plan.changes / 4, &loaded, &texts);
    FillRandomly(twin, plan.changes / 4, &mapped, &twin_texts);
    ExpectSameIndex(loaded, mapped, random, texts, plan.queries,
                    where + " after changes");
    if (snapshot != nullptr) {
      CTimeURLContainer seen;
      EXPECT_TRUE(snapshot->Visit(
          kept_id, [&](const CTimeURLContainer& record) { seen = record; }))
          << where;
      EXPECT_EQ(seen, kept) << where;
    }

    // An image written from the image and the changes holds them.
    testing::TempDir again;
    CoverPostings(&loaded);
    CoverPostings(&mapped);
    ASSERT_EQ(SaveIndexFiles(again.u16(), mapped.records, mapped.words), S_OK);
    ASSERT_EQ(SaveIndexImage(again.u16(), mapped.records, mapped.words), S_OK);
    Index remapped;
    const auto second = OpenIndexImage(again.u16(), &problem);
    ASSERT_NE(second, nullptr) << where << " " << static_cast<int>(problem);
    remapped.records.AttachImage(second);
    remapped.words.AttachImage(second);
    ExpectSameIndex(loaded, remapped, random, texts, plan.queries / 2,
                    where + " saved again");
    // The snapshot keeps the image it was taken of.
    mapped.records.AttachImage(second);
    mapped.words.AttachImage(second);
    if (snapshot != nullptr) {
      CTimeURLContainer seen;
      EXPECT_TRUE(snapshot->Visit(
          kept_id, [&](const CTimeURLContainer& record) { seen = record; }));
      EXPECT_EQ(seen, kept) << where;
    }
  }
}

TEST(ImageAgainstLoadedFiles, RandomIndexes) {
  for (const ImageRound& plan :
       {ImageRound{5, 40, 30, 30, 10}, ImageRound{31337, 40, 60, 60, 10},
        ImageRound{808, 6, 600, 300, 30}, ImageRound{12, 20, 150, 1200, 12}}) {
    CompareImageWithFiles(plan);
  }
}

// --- Snippets against a brute-force reference ---------------------------------

// Every window of kSnippetWords tokens counted afresh; the first with the
// most distinct query words wins.
Snippet ReferenceSnippet(std::u16string text, std::u16string_view query,
                         bool prefix) {
  text = text.substr(0, text.find(u'\0'));
  std::u16string lowered = text;
  platform::LowerCaseInPlace(lowered);
  std::vector<std::u16string> split;
  SplitAtWhiteSpace(lowered, &split);
  std::erase(split, u"");
  std::vector<std::size_t> starts;
  for (std::size_t from = 0; const std::u16string& token : split) {
    starts.push_back(lowered.find(token, from));
    from = starts.back() + token.size();
  }
  platform::UniqueBstr what(platform::AllocBstr(query));
  std::vector<std::u16string> words;
  for (const auto& [word, count] : ExtractWords(what.get())) {
    if (!word.empty()) words.emplace_back(word);
  }
  std::u16string begun;
  if (prefix && !query.empty() && !platform::SplitSpaceUnits()[query.back()]) {
    std::vector<std::u16string> tokens;
    SplitAtWhiteSpace(std::u16string(query), &tokens);
    begun = TrimSeparators(tokens.back());
    platform::LowerCaseInPlace(begun);
  }
  // What each token counts as: its word, the prefix it begins with, or "".
  std::vector<std::u16string> keys;
  for (const std::u16string& token : split) {
    const std::u16string word = TrimSeparators(token);
    const bool exact = std::find(words.begin(), words.end(), word) != words.end();
    keys.push_back(exact && !word.empty() ? word
                   : !begun.empty() && word.starts_with(begun) ? begun
                                                               : u"");
  }
  Snippet snippet;
  if (split.empty()) return snippet;
  const std::size_t window = std::min(kSnippetWords, split.size());
  std::size_t best = 0, most = 0;
  for (std::size_t start = 0; start + window <= split.size(); ++start) {
    std::set<std::u16string> seen(keys.begin() + start,
                                  keys.begin() + start + window);
    seen.erase(u"");
    if (start == 0 || seen.size() > most) {
      best = start;
      most = seen.size();
    }
  }
  for (std::size_t i = best; i < best + window; ++i) {
    if (i > best) snippet.text += u' ';
    if (!keys[i].empty()) {
      std::size_t lead = 0;
      while (IsSeparator(split[i][lead])) ++lead;
      snippet.marks.push_back(
          {static_cast<std::uint32_t>(snippet.text.size() + lead),
           static_cast<std::uint32_t>(TrimSeparators(split[i]).size())});
    }
    snippet.text += text.substr(starts[i], split[i].size());
  }
  snippet.cut_before = best > 0;
  snippet.cut_after = best + window < split.size();
  return snippet;
}

std::u16string Filler(std::size_t words, char16_t letter) {
  std::u16string text;
  for (std::size_t i = 0; i < words; ++i) {
    text += testing::Numbered(i ? u" f" : u"f", static_cast<std::int64_t>(i));
    text += letter;
  }
  return text;
}

struct SnippetCase {
  const char* name;
  std::u16string text;
  std::u16string query;
  bool prefix;
  std::u16string passage;  // when given, the passage expected
  std::vector<MarkedRange> marks;  // checked with `passage`
};

TEST(SnippetAgainstReference, Cases) {
  const std::u16string lines = u"the lighthouse\r\n\r\n   keeper\tlives";
  const std::vector<SnippetCase> cases = {
      {"words at the start", u"Lighthouse keeper " + Filler(100, u'a'),
       u"keeper lighthouse", false, {}, {}},
      {"words at the end", Filler(100, u'b') + u" the lighthouse keeper",
       u"lighthouse keeper", false, {}, {}},
      {"a repeated word loses to two words",
       u"harbour harbour harbour harbour " + Filler(60, u'c') +
           u" harbour keeper " + Filler(60, u'd'),
       u"harbour keeper", false, {}, {}},
      {"overlapping windows tie to the earliest",
       Filler(10, u'e') + u" keeper " + Filler(20, u'f') + u" harbour " +
           Filler(20, u'g') + u" keeper " + Filler(10, u'h'),
       u"keeper harbour", false, {}, {}},
      {"non-ASCII words, lowered as the agent lowers them",
       u"Die \u00C9cole du Phare \U0001F600 w\u00E4chter \u00C9COLE",
       u"\u00E9cole W\u00C4CHTER \U0001F600", false,
       u"Die \u00C9cole du Phare \U0001F600 w\u00E4chter \u00C9COLE",
       {{4, 5}, {19, 2}, {22, 7}, {30, 5}}},
      {"words split across lines", lines, u"lighthouse keeper", false,
       u"the lighthouse keeper lives", {{4, 10}, {15, 6}}},
      {"a text of one word", u"Lighthouse.", u"lighthouse", false,
       u"Lighthouse.", {{0, 10}}},
      {"separators stay, unmarked", u"(lighthouse), \"keeper\" ...",
       u"keeper", false, u"(lighthouse), \"keeper\" ...", {{15, 6}}},
      {"a prefix marks the words it begins", u"the Harbour, harbor of harbin",
       u"old harb", true, u"the Harbour, harbor of harbin",
       {{4, 7}, {13, 6}, {23, 6}}},
      {"without the prefix option it is a word", u"the harbour", u"harb",
       false, u"the harbour", {}},
      {"a text read up to its first NUL",
       std::u16string(u"keeper\0lighthouse", 17), u"lighthouse", false,
       u"keeper", {}},
      {"a very long text",
       Filler(60000, u'i') + u" harbour lighthouse " + Filler(70000, u'j'),
       u"lighthouse harbour", false, {}, {}},
      {"a page whose text was not kept", u"", u"lighthouse", false, u"", {}},
      {"white space only", u" \n\t ", u"lighthouse", false, u"", {}},
  };
  for (const SnippetCase& c : cases) {
    SCOPED_TRACE(c.name);
    const Snippet snippet = MakeSnippet(c.text, c.query, FindOptions{c.prefix});
    const Snippet reference = ReferenceSnippet(c.text, c.query, c.prefix);
    EXPECT_EQ(snippet.text, reference.text);
    EXPECT_EQ(snippet.marks, reference.marks);
    EXPECT_EQ(snippet.cut_before, reference.cut_before);
    EXPECT_EQ(snippet.cut_after, reference.cut_after);
    if (!c.passage.empty() || c.text.empty()) {
      EXPECT_EQ(snippet.text, c.passage);
      EXPECT_EQ(snippet.marks, c.marks);
    }
  }
}

}  // namespace
}  // namespace qoinfo
