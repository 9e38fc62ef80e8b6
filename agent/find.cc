#include "agent/find.h"

#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "agent/find_query.h"
#include "agent/page_phrases.h"
#include "agent/search.h"
#include "agent/word_extraction.h"
#include "platform/hresult_error.h"
#include "platform/wide_string.h"

namespace qoinfo {
namespace {

// The words a prefixed query scores, in word order, each once: the query's
// own words and the first kMaxPrefixWords indexed words that begin with
// `prefix` (the prefix itself among them when it is a word of its own).
// Merged lists live in *scratch.
std::vector<ScoredWord> WordsToScore(const WordCountMap& query,
                                     std::u16string_view prefix,
                                     const CWordToIdsContainer& words,
                                     CWordToIdsContainer::Scratch* scratch) {
  std::vector<std::pair<std::u16string_view, PostingsView>> expanded;
  words.ForEachSearchWordFrom(
      prefix, scratch,
      [&](std::u16string_view word, const PostingsView& postings) {
        if (expanded.size() >= kMaxPrefixWords || !word.starts_with(prefix)) {
          return false;
        }
        if (!postings.empty()) expanded.emplace_back(word, postings);
        return true;
      });
  std::vector<ScoredWord> scored;
  scored.reserve(query.size() + expanded.size());
  auto next = expanded.begin();
  for (const auto& [word, count] : query) {
    for (; next != expanded.end() && next->first < word; ++next) {
      scored.push_back({next->second, next->first.size()});
    }
    if (next != expanded.end() && next->first == word) {
      scored.push_back({next->second, word.size()});
      ++next;
      continue;
    }
    scored.push_back({words.SearchPostings(word, scratch), word.size()});
  }
  for (; next != expanded.end(); ++next) {
    scored.push_back({next->second, next->first.size()});
  }
  return scored;
}

// The scored hits of a query that has a prefix or phrases, before the
// phrases are checked: Percent against the query's own self-score (the
// prefix counted as typed).
std::vector<RankedHit> ScoredHits(std::u16string_view query,
                                  const FindQuery& read,
                                  const CWordToIdsContainer& words) {
  const platform::UniqueBstr what(platform::AllocBstr(query));
  if (what == nullptr) throw std::bad_alloc();
  const WordCountMap counts = ExtractWords(what.get());
  const std::int64_t self_score = SelfScore(counts);
  if (self_score <= 0) return {};
  if (read.prefix.empty()) {
    return ToRankedHits(ScoreMatches(counts, words), self_score);
  }
  CWordToIdsContainer::Scratch scratch;
  return ToRankedHits(
      ScoreWords(WordsToScore(counts, read.prefix, words, &scratch), words),
      self_score);
}

HRESULT FillWithAnswer(std::u16string_view query, const FindQuery& read,
                       PageTextSource& texts, const CIDContainer& records,
                       const CWordToIdsContainer& words,
                       CSearchDataEnumerator* enumerator) noexcept {
  try {
    std::vector<RankedHit> hits = ScoredHits(query, read, words);
    if (!read.phrases.empty()) {
      KeepPagesWithPhrases(read.phrases, texts, records, words, &hits);
    }
    enumerator->Fill(std::move(hits), records.Snapshot());
    return S_OK;
  } catch (...) {
    return platform::HResultFromCurrentException();
  }
}

}  // namespace

HRESULT Find(std::u16string_view query, const FindOptions& options,
             PageTextSource& texts, ISearchDataEnumerator** result,
             const CIDContainer& records,
             const CWordToIdsContainer& words) noexcept {
  // As Search: the query up to its first NUL is checked first.
  query = query.substr(0, query.find(u'\0'));
  if (query.empty() || result == nullptr) return E_INVALIDARG;
  *result = nullptr;
  FindQuery read;
  try {
    read = ReadFindQuery(query, options);
  } catch (...) {
    return platform::HResultFromCurrentException();
  }
  if (read.phrases.empty() && read.prefix.empty()) {
    // Neither a phrase nor a prefix: the specified search itself.
    const platform::UniqueBstr what(platform::AllocBstr(query));
    if (what == nullptr) return E_OUTOFMEMORY;
    return Search(what.get(), result, records, words);
  }

  CSearchDataEnumerator* enumerator = nullptr;
  HRESULT hr = CSearchDataEnumerator::Create(&enumerator);
  if (FAILED(hr)) return hr;
  hr = FillWithAnswer(query, read, texts, records, words, enumerator);
  if (FAILED(hr)) {
    enumerator->Release();
    return hr;
  }
  *result = enumerator;
  return S_OK;
}

}  // namespace qoinfo
