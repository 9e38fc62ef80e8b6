// Search: answers a free-text query over the agent's two containers with a
// new result enumerator. The query's words are extracted as page texts are;
// a page's score is the sum, over the query words it holds, of
// 30 x word length x the page's count of the word; Percent scales the score
// against the query's own score (docs/search.md).
//
// A search costs what its query's words and hits cost: it reads only the
// postings of the query's words, scores each hit once and leaves the order
// to the enumerator, which ranks only as far as a client reads. The
// enumerator keeps a snapshot of the records instead of copies; the word
// index is only read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "enumerator/search_data_enumerator.h"
#include "com/interfaces.h"
#include "index/id_container.h"
#include "index/postings_view.h"
#include "index/word_count_map.h"
#include "index/word_to_ids_container.h"

namespace qoinfo {

// One entry per scored page, in ascending page order, its Percent not yet
// set: the block the enumerator later ranks, filled in place.
using PageScores = std::vector<RankedHit>;

// E_INVALIDARG when `what` is null or empty (up to its first NUL; *result is
// not written) or `result` is null. Otherwise *result is a new enumerator
// with one reference for the caller and S_OK, also when nothing matches; on
// any failure (E_OUTOFMEMORY, or the enumerator's creation failure) *result
// is null. Never throws.
HRESULT Search(BSTR what, ISearchDataEnumerator** result,
               const CIDContainer& records,
               const CWordToIdsContainer& words) noexcept;

// One entry per page of `words` holding at least one word of `query`.
// Reads only the postings of the query's words.
PageScores ScoreMatches(const WordCountMap& query,
                        const CWordToIdsContainer::WordMap& words);
// The same over the index, its pages noted as removed left out.
PageScores ScoreMatches(const WordCountMap& query,
                        const CWordToIdsContainer& words);

// One word to score: its postings in the index (valid while the scoring
// lasts) and its length in UTF-16 units.
struct ScoredWord {
  PostingsView postings;
  std::size_t length = 0;
};

// Pages summed at a time when ScoreWords sums in an array: 256 KB of sums.
inline constexpr std::size_t kScoreBlockPages = 1 << 15;

// What ScoreMatches gives a query of exactly these words (given in word
// order, each once, as a query holds them), pages noted removed in `index`
// left out. Many lists that cover much of their page range are summed in an
// array over that range, `block_pages` pages at a time, instead of merged
// through a heap: the same sums in the same order, at a cost linear in
// their postings.
PageScores ScoreWords(const std::vector<ScoredWord>& words,
                      const CWordToIdsContainer& index,
                      std::size_t block_pages = kScoreBlockPages);

// The score a page consisting of the query itself would get: 30 x the number
// of UTF-16 units in the query's words, counted with their repetitions.
std::int64_t SelfScore(const WordCountMap& query);

// Sets each scored page's Percent: score / (self_score div 100), truncated;
// score x 100 / self_score when self_score is 1 to 99; no pages at all when
// self_score is 0 or negative. In the order of `scores`; the enumerator
// ranks them (RankedHit::Before).
std::vector<RankedHit> ToRankedHits(PageScores scores, std::int64_t self_score);

}  // namespace qoinfo
