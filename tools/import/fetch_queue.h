// The order in which fetches start: the requests wait per host, and a host
// may run kMaxFetchesPerHost fetches at once; hosts take turns. The caller
// keeps the limit of fetches at once. Not thread-safe: the caller locks.
#pragma once

#include <deque>
#include <map>
#include <string>
#include <vector>

#include "tools/import/page_fetcher.h"

namespace qoinfo::tools {

class FetchQueue {
 public:
  // Keeps pointers into `requests`, which must outlive the queue.
  explicit FetchQueue(const std::vector<FetchRequest>& requests);

  // The next request that may start now, or null.
  const FetchRequest* Next();
  // A fetch to `host` ended.
  void Ended(const std::string& host);
  // Whether no request waits any more.
  bool Exhausted() const { return m_remaining == 0; }

 private:
  std::map<std::string, std::deque<const FetchRequest*>> m_waiting;
  std::map<std::string, long> m_running;
  std::deque<std::string> m_ready;
  std::size_t m_remaining = 0;
};

}  // namespace qoinfo::tools
