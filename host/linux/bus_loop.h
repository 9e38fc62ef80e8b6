// BusLoop: the serving loop of a D-Bus service. It dispatches the
// connection's messages, runs tasks posted from other threads and timers,
// and ends on Quit, on SIGTERM or SIGINT, or when the bus goes away.
// sdbus-c++ 1.2 has no timers of its own, so the loop polls the
// connection's descriptor itself. A call, task or timer that fails is
// logged and the loop serves on: only the loss of the connection ends it.
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

#include <sdbus-c++/Error.h>
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

  // After Run: gives up the bus name `name`, so that new calls start a new
  // server, then serves the calls already queued for this one until
  // `settled()` (no answer outstanding) holds with nothing left to read, a
  // signal, the loss of the bus, or `limit` (kQuit then).
  End Withdraw(const char* name, const std::function<bool()>& settled,
               std::chrono::milliseconds limit = kWithdrawLimit);

  // The longest a withdrawal serves: a call queued before it may wait
  // for the history's sinks (URLBaseService::kCallWaitLimit).
  static constexpr std::chrono::milliseconds kWithdrawLimit{20000};

 private:
  using Clock = std::chrono::steady_clock;
  struct Timer {
    Clock::time_point due;
    std::function<void()> task;
  };

  // Failures of the connection in a row after which it counts as lost.
  static constexpr int kMaxFailuresInARow = 100;

  void Wake();
  void RunPosted();
  void RunDueTimers();
  // Until the next timer is due; -1 (no limit) without timers.
  int PollTimeoutMs() const;
  // Dispatches every message waiting; false once the bus is lost.
  bool DispatchPending();
  // Whether a failure of the connection means it is gone.
  bool IsLost(const sdbus::Error& error);
  // Waits for the connection, a posted task, a signal or `timeout_ms`; runs
  // the posted tasks. kQuit to go on, else why to stop.
  End Wait(int timeout_ms);

  sdbus::IConnection& m_connection;
  int m_wakeFd = -1;
  int m_signalFd = -1;
  int m_signal = 0;
  int m_failuresInARow = 0;
  std::atomic<bool> m_quit{false};
  bool m_withdrawing = false;
  std::mutex m_mutex;
  std::vector<std::function<void()>> m_posted;
  std::uint64_t m_lastTimer = 0;
  std::map<std::uint64_t, Timer> m_timers;
};

}  // namespace qoinfo::bus
