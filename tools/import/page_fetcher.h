// Fetching the pages of imported visits, the way a browser without cookies
// or credentials would: HTTP(S) GET, at most 5 redirects and only to http:
// or https:, a time limit and a size cap per page, at most 4 fetches at once
// and 2 to one host. What is sent, and what never is: docs/import.md.
// The Linux build fetches through libcurl (page_fetcher_posix.cc), the
// Windows build through WinHTTP (page_fetcher_win.cc).
//
// FetchPages runs on the calling thread and calls back on it.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace qoinfo::tools {

// Larger bodies are not read further (FetchOutcome::kTooLarge).
inline constexpr std::size_t kMaxFetchedBytes = 8 * 1024 * 1024;
inline constexpr long kFetchTimeoutMilliseconds = 20000;
inline constexpr long kConnectTimeoutMilliseconds = 10000;
inline constexpr long kMaxRedirects = 5;
inline constexpr long kMaxFetchesAtOnce = 4;
inline constexpr long kMaxFetchesPerHost = 2;

enum class FetchOutcome {
  kFetched,     // an HTML page, its bytes in `body`
  kTimeout,
  kHttpStatus,  // 400 or above
  kTooLarge,
  kNotHtml,
  kRedirect,    // too many, or to a scheme other than http/https
  kOther,       // name not found, connection refused, TLS, ...
};

struct FetchRequest {
  unsigned long token = 0;  // the caller's, handed back with the result
  std::string url;          // UTF-8, http: or https:, without credentials
  std::string host;         // for the limit per host
};

struct FetchResult {
  unsigned long token = 0;
  FetchOutcome outcome = FetchOutcome::kOther;
  std::string body;
  std::string charset;  // from the answer's Content-Type; may be empty
  std::string detail;   // what went wrong, for a message
};

// Fetches every request and hands each result to `done` as it ends. Once
// `stop` answers true, no fetch starts and those under way are dropped
// (without a result).
void FetchPages(const std::vector<FetchRequest>& requests,
                const std::function<bool()>& stop,
                const std::function<void(FetchResult&&)>& done);

}  // namespace qoinfo::tools
