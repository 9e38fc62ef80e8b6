#include "agent/page_phrases.h"

#include <algorithm>
#include <bitset>
#include <cstddef>

#include "agent/word_extraction.h"
#include "platform/text_case.h"
#include "platform/white_space_units.h"

namespace qoinfo {
namespace {

// Keeps the hits whose page `postings` lists; both ascend by page.
void KeepListed(const PostingsView& postings, std::vector<RankedHit>* hits) {
  auto kept = hits->begin();
  auto hit = hits->begin();
  for (auto at = postings.begin(), end = postings.end();
       at != end && hit != hits->end(); ++at) {
    while (hit != hits->end() && hit->page < at->first) ++hit;
    if (hit != hits->end() && hit->page == at->first) *kept++ = *hit++;
  }
  hits->erase(kept, hits->end());
}

// Whether `word` starts at `at` of the lowered `text` as a whole word: only
// separators between it and the ends of its token. Then *end is where its
// token ends.
bool WholeWordAt(std::u16string_view text, std::size_t at, std::size_t length,
                 std::size_t* end) {
  const std::bitset<65536>& space = platform::SplitSpaceUnits();
  std::size_t begin = at;
  while (begin > 0 && IsSeparator(text[begin - 1])) --begin;
  if (begin > 0 && !space[text[begin - 1]]) return false;
  std::size_t after = at + length;
  while (after < text.size() && IsSeparator(text[after])) ++after;
  if (after < text.size() && !space[text[after]]) return false;
  *end = after;
  return true;
}

// Whether the lowered `text` holds the phrase's words one after the other
// (tokens of separators only between them do not count). Each place where
// the first word is found as a whole word is followed token by token.
bool HoldsPhrase(std::u16string_view text, const Phrase& phrase) {
  const std::bitset<65536>& space = platform::SplitSpaceUnits();
  const std::u16string& first = phrase.front();
  for (std::size_t at = text.find(first); at != std::u16string_view::npos;
       at = text.find(first, at + 1)) {
    std::size_t end = 0;
    if (!WholeWordAt(text, at, first.size(), &end)) continue;
    std::size_t next = 1;
    while (next < phrase.size()) {
      while (end < text.size() && space[text[end]]) ++end;
      if (end == text.size()) return false;  // no later place can do better
      const std::size_t begin = end;
      while (end < text.size() && !space[text[end]]) ++end;
      const std::u16string_view word =
          TrimmedView(text.substr(begin, end - begin));
      if (word.empty()) continue;
      if (word != phrase[next]) break;
      ++next;
    }
    if (next == phrase.size()) return true;
  }
  return false;
}

// Reads texts for a fixed set of phrases: each text is lowered once, then
// each phrase is sought in it.
class PhraseMatcher {
 public:
  explicit PhraseMatcher(const std::vector<Phrase>& phrases)
      : m_phrases(phrases) {}

  bool Holds(std::u16string_view text) {
    m_lowered.assign(text.substr(0, text.find(u'\0')));
    platform::LowerCaseInPlace(m_lowered);
    return std::all_of(m_phrases.begin(), m_phrases.end(),
                       [&](const Phrase& phrase) {
                         return HoldsPhrase(m_lowered, phrase);
                       });
  }

 private:
  const std::vector<Phrase>& m_phrases;
  std::u16string m_lowered;  // scratch, kept from text to text
};

}  // namespace

void KeepPagesWithPhrases(const std::vector<Phrase>& phrases,
                          PageTextSource& texts, const CIDContainer& records,
                          const CWordToIdsContainer& words,
                          std::vector<RankedHit>* hits) {
  // The index first: every phrase word's postings, shortest first, each
  // word once.
  std::vector<std::u16string_view> phrase_words;
  for (const Phrase& phrase : phrases) {
    phrase_words.insert(phrase_words.end(), phrase.begin(), phrase.end());
  }
  std::sort(phrase_words.begin(), phrase_words.end());
  phrase_words.erase(std::unique(phrase_words.begin(), phrase_words.end()),
                     phrase_words.end());
  CWordToIdsContainer::Scratch scratch;
  std::vector<PostingsView> lists;
  for (const std::u16string_view word : phrase_words) {
    const PostingsView found = words.SearchPostings(word, &scratch);
    if (found.empty()) {
      hits->clear();
      return;
    }
    lists.push_back(found);
  }
  std::stable_sort(lists.begin(), lists.end(),
                   [](const PostingsView& a, const PostingsView& b) {
                     return a.size() < b.size();
                   });
  for (const PostingsView& list : lists) {
    if (hits->empty()) return;
    KeepListed(list, hits);
  }

  // Then the stored texts of the pages left.
  PhraseMatcher matcher(phrases);
  std::u16string text;
  CTimeURLContainer record;
  const auto kept = std::remove_if(hits->begin(), hits->end(),
                                   [&](const RankedHit& hit) {
    if (!records.GetRecord(hit.page, &record)) return true;
    text.clear();
    if (!texts.TextOf(record.m_time, record.m_url, &text)) {
      return true;
    }
    return !matcher.Holds(text);
  });
  hits->erase(kept, hits->end());
}

}  // namespace qoinfo
