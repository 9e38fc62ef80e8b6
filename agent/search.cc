#include "agent/search.h"

#include <algorithm>
#include <functional>
#include <optional>
#include <queue>
#include <utility>
#include <vector>

#include "agent/word_extraction.h"
#include "platform/hresult_error.h"

namespace qoinfo {
namespace {

// One weight, 30 x word length x count, in 32-bit arithmetic: the product
// keeps its low 32 bits and is read as a signed value, so a huge count can
// make a weight negative.
std::int32_t Weight(std::size_t length, std::int32_t count) {
  return static_cast<std::int32_t>(30u * static_cast<std::uint32_t>(length) *
                                   static_cast<std::uint32_t>(count));
}

// A weight added to a running 64-bit sum counts as an unsigned 32-bit value;
// only the weight that starts a sum keeps its sign.
std::int64_t AddToSum(std::int64_t sum, std::int32_t weight) {
  return static_cast<std::int64_t>(static_cast<std::uint64_t>(sum) +
                                   static_cast<std::uint32_t>(weight));
}

// Folds a stream of (page, weight) in ascending page order, equal pages in
// ascending word order, into one score per page. A previous page of 0 stands
// for "none yet", so a page 0 at the very start of the stream is summed from
// zero and reported only when it is the stream's only page.
class ScoreFolder {
 public:
  explicit ScoreFolder(PageScores* scores) : m_scores(scores) {}

  void Add(std::int64_t page, std::int32_t weight) {
    m_any = true;
    if (page == m_previous) {
      m_sum = AddToSum(m_sum, weight);
      return;
    }
    if (m_previous != 0) m_scores->push_back({0, m_sum, m_previous});
    m_previous = page;
    m_sum = weight;
  }

  void Finish() {
    if (m_any) m_scores->push_back({0, m_sum, m_previous});
  }

 private:
  PageScores* m_scores;
  bool m_any = false;
  std::int64_t m_previous = 0;
  std::int64_t m_sum = 0;
};

// A conversion of a quotient to 64 bits that is defined for every value.
// Quotients outside the range cannot come from real scores; they get the
// value the processor's conversion yields for them.
std::int64_t TruncateToInt64(double value) {
  constexpr double kLimit = 9223372036854775808.0;  // 2^63
  if (value >= -kLimit && value < kLimit) {
    return static_cast<std::int64_t>(value);
  }
  return INT64_MIN;
}

std::int64_t Percent(std::int64_t score, std::int64_t self_score,
                     std::int64_t divisor) {
  if (divisor == 0) {
    // Self-scores of 1 to 99 (query words of three units or fewer in all):
    // the exact ratio in whole percent. Such a query can give no score whose
    // hundredfold leaves 64 bits; the unsigned product keeps it defined.
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(score) * 100u) /
           self_score;
  }
  return TruncateToInt64(static_cast<double>(score) /
                         static_cast<double>(divisor));
}

// Answers the query into `enumerator`. Never throws.
HRESULT FillWithAnswer(BSTR what, const CIDContainer& records,
                       const CWordToIdsContainer& words,
                       CSearchDataEnumerator* enumerator) noexcept {
  try {
    const WordCountMap query = ExtractWords(what);
    const std::int64_t self_score = SelfScore(query);
    std::vector<RankedHit> hits;
    // A self-score of 0 or less ranks nothing, so nothing is scored.
    if (self_score > 0) {
      hits = ToRankedHits(ScoreMatches(query, words), self_score);
    }
    enumerator->Fill(std::move(hits), records.Snapshot());
    return S_OK;
  } catch (...) {
    return platform::HResultFromCurrentException();
  }
}

}  // namespace

HRESULT Search(BSTR what, ISearchDataEnumerator** result,
               const CIDContainer& records,
               const CWordToIdsContainer& words) noexcept {
  // The query is checked before the result address, and a bad query leaves
  // *result as it was.
  if (what == nullptr || what[0] == 0) return E_INVALIDARG;
  if (result == nullptr) return E_INVALIDARG;
  *result = nullptr;

  CSearchDataEnumerator* enumerator = nullptr;
  HRESULT hr = CSearchDataEnumerator::Create(&enumerator);
  if (FAILED(hr)) return hr;
  hr = FillWithAnswer(what, records, words, enumerator);
  if (FAILED(hr)) {
    enumerator->Release();
    return hr;
  }
  *result = enumerator;
  return S_OK;
}

namespace {

// The postings of one word being merged.
struct PostingsCursor {
  PostingsView::const_iterator next;
  PostingsView::const_iterator end;
  std::size_t length;
  PostingsView postings;
};

template <typename Skip>
PageScores MergeLists(std::vector<PostingsCursor>& lists, Skip&& skip) {
  PageScores scores;
  ScoreFolder folder(&scores);
  if (lists.size() == 1) {
    // One word: its postings are the pages, in order.
    const PostingsCursor& list = lists.front();
    scores.reserve(list.postings.size());
    list.postings.ForEach([&](std::int64_t page, std::int32_t count) {
      if (!skip(page)) folder.Add(page, Weight(list.length, count));
    });
    folder.Finish();
    return scores;
  }

  // Merge the postings by page; among equal pages the earlier word comes
  // first, since the weight that starts a page's sum keeps its sign.
  using Head = std::pair<std::int64_t, std::size_t>;  // (page, list)
  std::priority_queue<Head, std::vector<Head>, std::greater<Head>> heads;
  for (std::size_t i = 0; i < lists.size(); ++i) {
    heads.emplace(lists[i].next->first, i);
  }
  while (!heads.empty()) {
    const auto [page, i] = heads.top();
    heads.pop();
    PostingsCursor& list = lists[i];
    if (!skip(page)) folder.Add(page, Weight(list.length, list.next->second));
    if (++list.next != list.end) heads.emplace(list.next->first, i);
  }
  folder.Finish();
  return scores;
}

// `find(word)` gives a word's postings (empty when the index does not
// hold it).
template <typename Find, typename Skip>
PageScores ScoreMatchesSkipping(const WordCountMap& query, Find&& find,
                                Skip&& skip) {
  // The postings of the query's words, in word order; words the index does
  // not hold play no part.
  std::vector<PostingsCursor> lists;
  for (const auto& [word, count] : query) {
    const PostingsView found = find(word);
    if (!found.empty()) {
      lists.push_back({found.begin(), found.end(), word.size(), found});
    }
  }
  return MergeLists(lists, skip);
}

// Sums the lists in an array over [first, last], block by block of pages
// and within a block list after list, so that each page's weights arrive in
// word order as in the merge; only pages of 1 and above (page 0's "none
// yet" rule belongs to the merge). False when the lists do not suit an
// array: then they are merged.
template <typename Skip>
bool SumInArray(const std::vector<ScoredWord>& words, std::size_t block_pages,
                Skip&& skip, PageScores* scores) {
  constexpr std::size_t kFewestLists = 3;
  constexpr std::size_t kMostSlotsPerPosting = 32;
  if (words.size() < kFewestLists) return false;
  std::int64_t first = INT64_MAX, last = 0;
  std::size_t postings = 0;
  for (const ScoredWord& word : words) {
    first = std::min(first, word.postings.front().first);
    last = std::max(last, word.postings.last_id());
    postings += word.postings.size();
  }
  if (first < 1 || last < first) return false;
  const std::uint64_t slots = static_cast<std::uint64_t>(last - first) + 1;
  if (slots / kMostSlotsPerPosting > postings) return false;

  // One block of pages at a time, small enough to stay in the processor's
  // cache while every list adds its weights to it.
  const std::size_t block = static_cast<std::size_t>(
      std::min<std::uint64_t>(slots, std::max<std::size_t>(block_pages, 1)));
  std::vector<std::int64_t> sums(block);
  std::vector<std::uint8_t> seen(block);
  std::vector<PostingsCursor> lists;
  lists.reserve(words.size());
  for (const ScoredWord& word : words) {
    lists.push_back({word.postings.begin(), word.postings.end(), word.length,
                     word.postings});
  }
  // Offsets from `first` (an end of first + slots could pass 2^63 - 1).
  auto offset = [first](std::int64_t page) {
    return static_cast<std::uint64_t>(page - first);
  };
  for (std::uint64_t done = 0; done < slots; done += block) {
    const std::uint64_t end = done + std::min<std::uint64_t>(block, slots - done);
    for (PostingsCursor& list : lists) {
      for (; list.next != list.end && offset(list.next->first) < end; ++list.next) {
        const auto at = static_cast<std::size_t>(offset(list.next->first) - done);
        const std::int32_t weight = Weight(list.length, list.next->second);
        if (seen[at]) {
          sums[at] = AddToSum(sums[at], weight);
        } else {
          seen[at] = 1;
          sums[at] = weight;
        }
      }
    }
    for (std::size_t at = 0; at < end - done; ++at) {
      if (!seen[at]) continue;
      seen[at] = 0;
      const std::int64_t page = first + static_cast<std::int64_t>(done + at);
      if (!skip(page)) scores->push_back({0, sums[at], page});
    }
  }
  return true;
}

template <typename Skip>
PageScores ScoreWordsSkipping(const std::vector<ScoredWord>& words,
                              std::size_t block_pages, Skip&& skip) {
  PageScores scores;
  if (SumInArray(words, block_pages, skip, &scores)) return scores;
  std::vector<PostingsCursor> lists;
  lists.reserve(words.size());
  for (const ScoredWord& word : words) {
    lists.push_back({word.postings.begin(), word.postings.end(), word.length,
                     word.postings});
  }
  return MergeLists(lists, skip);
}

}  // namespace

PageScores ScoreMatches(const WordCountMap& query,
                        const CWordToIdsContainer::WordMap& words) {
  return ScoreMatchesSkipping(
      query,
      [&words](std::u16string_view word) {
        const auto found = words.find(word);
        return found == words.end() ? PostingsView() : found->second.View();
      },
      [](std::int64_t) { return false; });
}

PageScores ScoreMatches(const WordCountMap& query,
                        const CWordToIdsContainer& words) {
  // Lists merged from the image and the pages filed since live as long as
  // the scoring; without an image nothing is merged (and a deque made
  // would cost an allocation).
  std::optional<CWordToIdsContainer::Scratch> scratch;
  if (words.image() != nullptr) scratch.emplace();
  const auto find = [&](std::u16string_view word) {
    return words.SearchPostings(word, scratch ? &*scratch : nullptr);
  };
  if (!words.HasRemoved()) {
    return ScoreMatchesSkipping(query, find, [](std::int64_t) { return false; });
  }
  return ScoreMatchesSkipping(
      query, find,
      [&words](std::int64_t page) { return words.IsRemoved(page); });
}

PageScores ScoreWords(const std::vector<ScoredWord>& words,
                      const CWordToIdsContainer& index,
                      std::size_t block_pages) {
  std::vector<ScoredWord> held;
  held.reserve(words.size());
  for (const ScoredWord& word : words) {
    if (!word.postings.empty()) held.push_back(word);
  }
  if (held.empty()) return {};
  if (!index.HasRemoved()) {
    return ScoreWordsSkipping(held, block_pages,
                              [](std::int64_t) { return false; });
  }
  return ScoreWordsSkipping(held, block_pages, [&index](std::int64_t page) {
    return index.IsRemoved(page);
  });
}

std::int64_t SelfScore(const WordCountMap& query) {
  // The score of page 1 in an index holding only the query under page 1:
  // the query's words in order, each weighed with its count in the query.
  PageScores scores;
  ScoreFolder folder(&scores);
  for (const auto& [word, count] : query)
    folder.Add(1, Weight(word.size(), count));
  folder.Finish();
  return scores.empty() ? 0 : scores.front().score;
}

std::vector<RankedHit> ToRankedHits(PageScores scores,
                                    std::int64_t self_score) {
  if (self_score <= 0) return {};
  const std::int64_t divisor = self_score / 100;
  for (RankedHit& hit : scores) {
    hit.percent = Percent(hit.score, self_score, divisor);
  }
  return scores;
}

}  // namespace qoinfo
