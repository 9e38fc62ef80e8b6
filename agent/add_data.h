// AddData: files one visited page in the page records and the word index.
// The visit (time and URL) gets its page identifier from the records; the
// words of the lowered text are filed under it. A page with an empty text is
// not stored. The index keeps no text: the agent object hands it to the
// history, which keeps it beside the visit (agent/history_page_texts.h).
#pragma once

#include "com/interfaces.h"
#include "index/id_container.h"
#include "index/page_change.h"
#include "index/word_to_ids_container.h"

namespace qoinfo {

// The change that files `data`: its record and the word counts of its
// lowered text. S_FALSE (and nothing to file) for an empty text;
// E_OUTOFMEMORY when memory runs out. Never throws.
HRESULT PreparePage(const _URL_DATE_IA& data, PageChange* change) noexcept;

// PreparePage, then ApplyPageChange.
// S_OK whether or not anything was stored; E_FAIL when the identifier
// counter is exhausted (nothing stored); E_OUTOFMEMORY when memory runs out
// (nothing stored when it runs out before the record is). Never throws.
HRESULT AddData(const _URL_DATE_IA& data, CIDContainer& records,
                CWordToIdsContainer& words) noexcept;

}  // namespace qoinfo
