// The Windows build has no HTTP client: it cannot fetch pages.
#include "tools/import/page_fetcher.h"

namespace qoinfo::tools {

bool CanFetchPages() { return false; }

void FetchPages(const std::vector<FetchRequest>&, const std::function<bool()>&,
                const std::function<void(FetchResult&&)>&) {}

}  // namespace qoinfo::tools
