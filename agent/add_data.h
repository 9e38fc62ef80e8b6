// AddData: files one visited page in the page records and the word index.
// The visit (time and URL) gets its page identifier from the records; the
// words of the lowered text are filed under it. A page with an empty text is
// not stored. The text itself is never kept.
#pragma once

#include "host/idl/interfaces.h"
#include "index/id_container.h"
#include "index/word_to_ids_container.h"

namespace qoinfo {

// S_OK whether or not anything was stored; E_FAIL when the identifier
// counter is exhausted (nothing stored); E_OUTOFMEMORY when memory runs out
// (nothing stored when it runs out before the record is). Never throws.
HRESULT AddData(const _URL_DATE_IA& data, CIDContainer& records,
                CWordToIdsContainer& words) noexcept;

}  // namespace qoinfo
