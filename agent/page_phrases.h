// Phrases checked on pages: the index narrows the pages to those holding
// every word of every phrase, then each candidate's stored text must hold
// each phrase's words one after the other, in order, read as the agent
// reads a text (lowered, split at white space, separators trimmed; words of
// separators only are not words here, on either side). A page whose text is
// not kept cannot show a phrase, and does not match.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "agent/page_text_source.h"
#include "enumerator/ranked_hits.h"
#include "index/id_container.h"
#include "index/word_to_ids_container.h"

namespace qoinfo {

using Phrase = std::vector<std::u16string>;  // two or more lowered words

// Leaves in *hits (ascending page order) the pages whose stored text holds
// every phrase, in the same order. Raises std::bad_alloc when out of memory.
void KeepPagesWithPhrases(const std::vector<Phrase>& phrases,
                          PageTextSource& texts, const CIDContainer& records,
                          const CWordToIdsContainer& words,
                          std::vector<RankedHit>* hits);

}  // namespace qoinfo
