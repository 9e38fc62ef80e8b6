// A search as the tools run it: the agent's ranked hits for a query, read
// from its enumerator in the order Next hands them out, and each hit as the
// JSON object that `qoinfo search --json` prints and the browser's native
// host answers with.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "com/interfaces.h"
#include "platform/com_base.h"

namespace qoinfo::tools {

// One hit, its strings in UTF-8.
struct SearchHit {
  std::int64_t time = 0;
  std::string url, path, title;
  std::int32_t percent = 0;
};

struct SearchOutcome {
  HRESULT search = S_OK;   // Search's own result (E_INVALIDARG: empty query)
  HRESULT reading = S_OK;  // the first failure of Next, when one failed
  std::vector<SearchHit> hits;
};

// Up to `limit` hits (all when negative), best first. When Next fails, the
// hits read before it are kept.
SearchOutcome SearchPages(IZuInfoAgent* agent, const std::u16string& query,
                          long long limit);

// {"time":...,"url":"...","path":"...","title":"...","percent":...}
std::string SearchHitJson(const SearchHit& hit);

}  // namespace qoinfo::tools
