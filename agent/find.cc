#include "agent/find.h"

#include "agent/search.h"
#include "platform/wide_string.h"

namespace qoinfo {

HRESULT Find(std::u16string_view query, const FindOptions& /*options*/,
             PageTextSource& /*texts*/, ISearchDataEnumerator** result,
             const CIDContainer& records,
             const CWordToIdsContainer& words) noexcept {
  // For now the specified search; prefixes and phrases come next.
  if (query.empty()) return E_INVALIDARG;
  const platform::UniqueBstr what(platform::AllocBstr(query));
  if (what == nullptr) return E_OUTOFMEMORY;
  return Search(what.get(), result, records, words);
}

}  // namespace qoinfo
