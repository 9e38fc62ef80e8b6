#include "agent/page_phrases.h"

#include <algorithm>
#include <cstddef>

#include "agent/word_extraction.h"
#include "platform/text_case.h"

namespace qoinfo {
namespace {

using Postings = CWordToIdsContainer::Postings;

// Keeps the hits whose page `postings` lists; both ascend by page.
void KeepListed(const Postings& postings, std::vector<RankedHit>* hits) {
  auto kept = hits->begin();
  auto hit = hits->begin();
  for (auto at = postings.begin(), end = postings.end();
       at != end && hit != hits->end(); ++at) {
    while (hit != hits->end() && hit->page < at->first) ++hit;
    if (hit != hits->end() && hit->page == at->first) *kept++ = *hit++;
  }
  hits->erase(kept, hits->end());
}

bool HoldsPhrase(const std::vector<std::u16string_view>& words,
                 const Phrase& phrase) {
  return std::search(words.begin(), words.end(), phrase.begin(),
                     phrase.end()) != words.end();
}

}  // namespace

bool TextHoldsPhrases(std::u16string_view text,
                      const std::vector<Phrase>& phrases) {
  std::u16string lowered(text.substr(0, text.find(u'\0')));
  platform::LowerCaseInPlace(lowered);
  std::vector<TextWord> tokens;
  WordsInOrder(lowered, &tokens);
  std::vector<std::u16string_view> words;
  words.reserve(tokens.size());
  for (const TextWord& token : tokens) {
    if (!token.word.empty()) words.push_back(token.word);
  }
  return std::all_of(phrases.begin(), phrases.end(), [&](const Phrase& phrase) {
    return HoldsPhrase(words, phrase);
  });
}

void KeepPagesWithPhrases(const std::vector<Phrase>& phrases,
                          PageTextSource& texts, const CIDContainer& records,
                          const CWordToIdsContainer& words,
                          std::vector<RankedHit>* hits) {
  // The index first: every phrase word's postings, shortest first, each
  // word once.
  std::vector<const Postings*> lists;
  for (const Phrase& phrase : phrases) {
    for (const std::u16string& word : phrase) {
      const auto found = words.postings_of_search().find(word);
      if (found == words.postings_of_search().end()) {
        hits->clear();
        return;
      }
      lists.push_back(&found->second);
    }
  }
  std::sort(lists.begin(), lists.end());
  lists.erase(std::unique(lists.begin(), lists.end()), lists.end());
  std::sort(lists.begin(), lists.end(), [](const Postings* a, const Postings* b) {
    return a->size() < b->size();
  });
  for (const Postings* list : lists) {
    if (hits->empty()) return;
    KeepListed(*list, hits);
  }

  // Then the stored texts of the pages left.
  std::u16string text;
  const auto kept = std::remove_if(hits->begin(), hits->end(),
                                   [&](const RankedHit& hit) {
    const auto record = records.records().find(hit.page);
    if (record == records.records().end()) return true;
    text.clear();
    if (!texts.TextOf(record->second.m_time, record->second.m_url, &text)) {
      return true;
    }
    return !TextHoldsPhrases(text, phrases);
  });
  hits->erase(kept, hits->end());
}

}  // namespace qoinfo
