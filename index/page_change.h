// PageChange: one change to the index, as AddData and the removal event make
// it and as the change journal keeps it. Applying the same changes in the
// same order to the same index always gives the same index (the same page
// identifiers included), which is what lets the journal be replayed.
#pragma once

#include <cstdint>

#include "index/id_container.h"
#include "index/time_url_container.h"
#include "index/word_count_map.h"
#include "index/word_to_ids_container.h"
#include "platform/com_base.h"

namespace qoinfo {

struct PageChange {
  enum class Kind : std::uint8_t { kPageAdded = 1, kPageRemoved = 2 };

  Kind kind = Kind::kPageAdded;
  // A page added: the whole record. A page removed: its time and URL.
  CTimeURLContainer record;
  // A page added: its words with their counts.
  WordCountMap words;
};

// Applies `change`. A page added: S_OK, or E_FAIL when the identifier counter
// is exhausted (nothing stored). A page removed: S_OK when a page with that
// visit was taken out (the lowest identifier), S_FALSE when none was there.
// Allocation failures throw.
HRESULT ApplyPageChange(const PageChange& change, CIDContainer& records,
                        CWordToIdsContainer& words);

}  // namespace qoinfo
