#include "index/page_change.h"

namespace qoinfo {

HRESULT ApplyPageChange(const PageChange& change, CIDContainer& records,
                        CWordToIdsContainer& words) {
  if (change.kind == PageChange::Kind::kPageAdded) {
    const std::int64_t id = records.AddRecord(change.record);
    if (id == 0) return E_FAIL;
    words.AddWords(change.words, id);
    return S_OK;
  }
  const std::int64_t id = records.FindRecord(change.record);
  if (id < 1) return S_FALSE;
  words.RemoveId(id);
  records.RemoveRecord(id);
  return S_OK;
}

}  // namespace qoinfo
