// A search as the tools run it: the agent's ranked hits for a query, read
// from its enumerator in the order Next hands them out (Search's, or Find's
// with each hit's snippet), and each hit as the JSON object that
// `qoinfo search --json` prints and the browser's native host answers with.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "agent/find.h"
#include "agent/snippet.h"

#include "com/interfaces.h"
#include "platform/com_base.h"

namespace qoinfo::tools {

// One hit, its strings in UTF-8.
struct SearchHit {
  std::int64_t time = 0;
  std::string url, path, title;
  std::int32_t percent = 0;
  // Find's hits: the passage that matched, when the page's text is kept.
  std::optional<Snippet> snippet;
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

class AgentConnection;

// Find's hits (up to `limit`, all when negative), best first, the first
// `passages` of them (all by default) each with its snippet. A failure of the snippets is the outcome's `reading`; the hits
// are kept. A server without Find (an earlier version, still running)
// answers a query without `prefix` with its Search, without snippets.
SearchOutcome FindPages(AgentConnection& connection,
                        const std::u16string& query, const FindOptions& options,
                        long long limit,
                        std::size_t passages = static_cast<std::size_t>(-1));

// {"time":...,"url":"...","path":"...","title":"...","percent":...}, with
// a hit that has a snippet also
// "snippet":{"text":"...","marks":[[begin,length],...],"cut_before":false,
// "cut_after":true}, the marks in UTF-16 units of the text (as JavaScript
// counts them).
std::string SearchHitJson(const SearchHit& hit);

}  // namespace qoinfo::tools
