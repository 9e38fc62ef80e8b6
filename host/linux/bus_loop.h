// BusLoop: the serving loop of a D-Bus service. It dispatches the
// connection's messages, runs tasks posted from other threads and timers,
// and ends on Quit, on SIGTERM or SIGINT, or when the bus goes away.
// sdbus-c++ 1.2 has no timers of its own, so the loop polls the
// connection's descriptor itself.
//
// Construct it on the main thread before starting any other thread: it
// blocks SIGTERM and SIGINT for the process and reads them from a signalfd.
// Run, After and Cancel on the loop's thread; Post and Quit from any.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

#include <sdbus-c++/IConnection.h>

namespace qoinfo::bus {

class BusLoop {
 public:
  enum class End { kQuit, kSignal, kBusLost };

  explicit BusLoop(sdbus::IConnection& connection);
  ~BusLoop();
  BusLoop(const BusLoop&) = delete;
  BusLoop& operator=(const BusLoop&) = delete;

  // Runs `task` on the loop's thread, after the message being handled.
  void Post(std::function<void()> task);
  // Runs `task` on the loop's thread after `delay`; the id cancels it.
  std::uint64_t After(std::chrono::milliseconds delay,
                      std::function<void()> task);
  void Cancel(std::uint64_t timer);
  // Makes Run return kQuit.
  void Quit();

  // Serves until one of the ends; the signal that ended it in signal().
  End Run();
  int signal() const { return m_signal; }

 private:
  using Clock = std::chrono::steady_clock;
  struct Timer {
    Clock::time_point due;
    std::function<void()> task;
  };

  void Wake();
  void RunPosted();
  void RunDueTimers();
  int PollTimeoutMs(int bus_timeout_ms) const;

  sdbus::IConnection& m_connection;
  int m_wakeFd = -1;
  int m_signalFd = -1;
  int m_signal = 0;
  std::atomic<bool> m_quit{false};
  std::mutex m_mutex;
  std::vector<std::function<void()>> m_posted;
  std::uint64_t m_lastTimer = 0;
  std::map<std::uint64_t, Timer> m_timers;
};

}  // namespace qoinfo::bus
