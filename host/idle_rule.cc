#include "host/idle_rule.h"

namespace qoinfo {

CIdleRule::CIdleRule(CModuleLockCount& count, std::function<void()> quit,
                     std::chrono::milliseconds timeout)
    : m_count(count), m_quit(std::move(quit)), m_timeout(timeout) {}

CIdleRule::~CIdleRule() { Stop(); }

void CIdleRule::Start() {
  m_count.SetListener(this);
  m_thread = std::thread([this] { Monitor(); });
}

void CIdleRule::Stop() {
  m_count.SetListener(nullptr);
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stopping = true;
  }
  m_wake.notify_all();
  if (m_thread.joinable()) m_thread.join();
}

void CIdleRule::OnLockCountZero() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_activity = true;
    m_signalled = true;
  }
  m_wake.notify_all();
}

void CIdleRule::Monitor() {
  std::unique_lock<std::mutex> lock(m_mutex);
  for (;;) {
    // 1. Wait without limit for a fall to zero.
    m_wake.wait(lock, [this] { return m_signalled || m_stopping; });
    if (m_stopping) return;
    m_signalled = false;
    // 2. Wait out whole timeouts while new falls keep arriving.
    bool timed_out = false;
    while (!timed_out) {
      m_activity = false;
      timed_out = !m_wake.wait_for(lock, m_timeout,
                                   [this] { return m_signalled || m_stopping; });
      if (m_stopping) return;
      m_signalled = false;
    }
    // 3. Quiet for a whole timeout: end unless something happened.
    if (!m_activity && m_count.Count() == 0) break;
  }
  lock.unlock();
  m_quit();
}

}  // namespace qoinfo
