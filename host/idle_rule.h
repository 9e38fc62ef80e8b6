// CIdleRule: when a local server has been idle long enough to end. It
// listens to the module lock count's falls to zero; after a fall it waits
// the idle timeout (5000 ms) again and again as long as new falls arrive
// within it, and asks the server to quit when one whole timeout passed with
// no new fall and the count still at zero. A service does not use it.
//
// Owns one monitor thread, started by Start and joined by Stop or the
// destructor. OnLockCountZero may be called from any thread; the quit
// request is made on the monitor thread and must only post to the server's
// loop.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "com/module_lock.h"

namespace qoinfo {

class CIdleRule final : public ModuleLockListener {
 public:
  static constexpr std::chrono::milliseconds kIdleTimeout{5000};
  // The wait after the server's objects are withdrawn, before it ends.
  static constexpr std::chrono::milliseconds kPause{1000};

  // `count` is the lock count watched; `quit` asks the server to end.
  CIdleRule(CModuleLockCount& count, std::function<void()> quit,
            std::chrono::milliseconds timeout = kIdleTimeout);
  ~CIdleRule();
  CIdleRule(const CIdleRule&) = delete;
  CIdleRule& operator=(const CIdleRule&) = delete;

  // Starts listening and the monitor thread.
  void Start();
  // Stops listening and ends the monitor thread, without a quit request.
  void Stop();

  // A fall to zero: marks activity and wakes the monitor.
  void OnLockCountZero() override;

 private:
  void Monitor();

  CModuleLockCount& m_count;
  const std::function<void()> m_quit;
  const std::chrono::milliseconds m_timeout;
  std::mutex m_mutex;
  std::condition_variable m_wake;
  bool m_signalled = false;  // the automatic-reset event
  bool m_activity = false;   // a fall happened since the monitor looked
  bool m_stopping = false;
  std::thread m_thread;
};

}  // namespace qoinfo
