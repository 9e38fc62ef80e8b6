// Apartment: the one thread on which a single-threaded COM object (the
// history) runs. Calls arrive as posted tasks and run one at a time, in
// order. A task that waits for an answer from the bus (an event fired at a
// sink in another process) waits with RunUntil, which keeps running the
// tasks that arrive meanwhile: a sink that calls back into the object while
// it is being told is served, as in a COM apartment. The wait ends at a
// deadline, so that no answer that never comes holds the object.
//
// Post and Quit from any thread; Run and RunUntil on the apartment thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace qoinfo::bus {

class Apartment {
 public:
  void Post(std::function<void()> task);
  // Runs tasks until Quit.
  void Run();
  using Clock = std::chrono::steady_clock;

  // Runs tasks until `done()` is true, the apartment is quitting or
  // `deadline` passed; true when `done()` became true.
  bool RunUntil(const std::function<bool()>& done,
                Clock::time_point deadline = Clock::time_point::max());
  void Quit();

 private:
  // Waits for one task, the quit or the deadline; false on the last two or
  // once `done()` holds.
  bool RunOne(const std::function<bool()>& done, Clock::time_point deadline);

  std::mutex m_mutex;
  std::condition_variable m_ready;
  std::deque<std::function<void()>> m_tasks;
  bool m_quit = false;
};

}  // namespace qoinfo::bus
