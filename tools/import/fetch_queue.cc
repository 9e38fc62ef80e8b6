#include "tools/import/fetch_queue.h"

namespace qoinfo::tools {

FetchQueue::FetchQueue(const std::vector<FetchRequest>& requests)
    : m_remaining(requests.size()) {
  for (const FetchRequest& request : requests) {
    std::deque<const FetchRequest*>& queue = m_waiting[request.host];
    if (queue.empty()) m_ready.push_back(request.host);
    queue.push_back(&request);
  }
}

const FetchRequest* FetchQueue::Next() {
  while (!m_ready.empty()) {
    const std::string host = m_ready.front();
    m_ready.pop_front();
    std::deque<const FetchRequest*>& queue = m_waiting[host];
    if (queue.empty() || m_running[host] >= kMaxFetchesPerHost) continue;
    const FetchRequest* request = queue.front();
    queue.pop_front();
    --m_remaining;
    if (++m_running[host] < kMaxFetchesPerHost && !queue.empty()) {
      m_ready.push_back(host);
    }
    return request;
  }
  return nullptr;
}

void FetchQueue::Ended(const std::string& host) {
  if (--m_running[host] == kMaxFetchesPerHost - 1 &&
      !m_waiting[host].empty()) {
    m_ready.push_back(host);
  }
}

}  // namespace qoinfo::tools
