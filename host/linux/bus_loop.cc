#include "host/linux/bus_loop.h"

#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include <sdbus-c++/Error.h>

#include "host/linux/server_log.h"

namespace qoinfo::bus {
namespace {

// Runs one posted task or timer: its failure is logged, and ends nothing.
void RunGuarded(const std::function<void()>& task) {
  try {
    task();
  } catch (const std::exception& error) {
    Log(std::string("a task of the bus loop failed: ") + error.what());
  } catch (...) {
    Log("a task of the bus loop failed");
  }
}

}  // namespace

BusLoop::BusLoop(sdbus::IConnection& connection) : m_connection(connection) {
  m_wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  m_signalFd = signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK);
}

BusLoop::~BusLoop() {
  if (m_wakeFd >= 0) close(m_wakeFd);
  if (m_signalFd >= 0) close(m_signalFd);
}

void BusLoop::Post(std::function<void()> task) {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_posted.push_back(std::move(task));
  }
  Wake();
}

std::uint64_t BusLoop::After(std::chrono::milliseconds delay,
                             std::function<void()> task) {
  m_timers.emplace(++m_lastTimer, Timer{Clock::now() + delay, std::move(task)});
  return m_lastTimer;
}

void BusLoop::Cancel(std::uint64_t timer) { m_timers.erase(timer); }

void BusLoop::Quit() {
  m_quit = true;
  Wake();
}

void BusLoop::Wake() {
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = write(m_wakeFd, &one, sizeof one);
}

void BusLoop::RunPosted() {
  std::uint64_t count = 0;
  [[maybe_unused]] const ssize_t read_bytes =
      read(m_wakeFd, &count, sizeof count);
  std::vector<std::function<void()>> tasks;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    tasks.swap(m_posted);
  }
  for (auto& task : tasks) RunGuarded(task);
}

void BusLoop::RunDueTimers() {
  const Clock::time_point now = Clock::now();
  std::vector<std::function<void()>> due;
  for (auto it = m_timers.begin(); it != m_timers.end();) {
    if (it->second.due <= now) {
      due.push_back(std::move(it->second.task));
      it = m_timers.erase(it);
    } else {
      ++it;
    }
  }
  for (auto& task : due) RunGuarded(task);
}

int BusLoop::PollTimeoutMs() const {
  int timeout = -1;
  const Clock::time_point now = Clock::now();
  for (const auto& entry : m_timers) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(
        entry.second.due - now);
    const int ms = static_cast<int>(std::max<std::int64_t>(0, left.count()));
    if (timeout < 0 || ms < timeout) timeout = ms;
  }
  return timeout;
}

bool BusLoop::IsLost(const sdbus::Error& error) {
  if (error.getName() == "org.freedesktop.DBus.Error.Disconnected") return true;
  try {
    // A closed connection has no descriptor to poll.
    m_connection.getEventLoopPollData();
  } catch (const sdbus::Error&) {
    return true;
  }
  return ++m_failuresInARow >= kMaxFailuresInARow;
}

bool BusLoop::DispatchPending() {
  for (;;) {
    if (m_quit && !m_withdrawing) return true;
    try {
      if (!m_connection.processPendingRequest()) return true;
      m_failuresInARow = 0;
    } catch (const sdbus::Error& error) {
      // One message that could not be handled (its reply could not be
      // sent, say) is that call's failure, not the server's.
      if (IsLost(error)) return false;
      Log("a message on the bus failed: " + error.getMessage() +
          "; serving on");
      return true;
    }
  }
}

BusLoop::End BusLoop::Wait(int timeout_ms) {
  sdbus::IConnection::PollData data;
  try {
    data = m_connection.getEventLoopPollData();
  } catch (const sdbus::Error&) {
    return End::kBusLost;
  }
  int timeout = data.getPollTimeout();
  if (timeout_ms >= 0 && (timeout < 0 || timeout_ms < timeout)) {
    timeout = timeout_ms;
  }
  pollfd fds[3] = {{data.fd, static_cast<short>(data.events), 0},
                   {m_wakeFd, POLLIN, 0},
                   {m_signalFd, POLLIN, 0}};
  const int ready = poll(fds, 3, timeout);
  if (ready < 0 && errno != EINTR) return End::kBusLost;
  if (fds[2].revents & POLLIN) {
    signalfd_siginfo info;
    if (read(m_signalFd, &info, sizeof info) == sizeof info) {
      m_signal = static_cast<int>(info.ssi_signo);
      return End::kSignal;
    }
  }
  if (fds[1].revents & POLLIN) RunPosted();
  return End::kQuit;
}

BusLoop::End BusLoop::Run() {
  while (!m_quit) {
    if (!DispatchPending()) return End::kBusLost;
    if (m_quit) break;
    const End end = Wait(PollTimeoutMs());
    if (end != End::kQuit) return end;
    RunDueTimers();
  }
  return End::kQuit;
}

BusLoop::End BusLoop::Withdraw(const char* name,
                               const std::function<bool()>& settled,
                               std::chrono::milliseconds limit) {
  try {
    // Calls routed to this server by the name are all queued before the
    // answer to this one; later ones start a new server.
    m_connection.releaseName(name);
  } catch (const sdbus::Error& error) {
    if (IsLost(error)) return End::kBusLost;
    Log(std::string("cannot give up the bus name ") + name + ": " +
        error.getMessage());
  }
  m_withdrawing = true;
  const Clock::time_point until = Clock::now() + limit;
  for (;;) {
    // DispatchPending reads until nothing is left, so once every call it
    // handed on is answered the withdrawal is over; waiting for more
    // traffic would only hold the end up to the limit.
    if (!DispatchPending()) return End::kBusLost;
    if (settled()) return End::kQuit;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(
        until - Clock::now());
    if (left.count() <= 0) return End::kQuit;
    const End end = Wait(static_cast<int>(left.count()));
    if (end != End::kQuit) return end;
  }
}

}  // namespace qoinfo::bus
