#include "host/linux/bus_loop.h"

#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include <sdbus-c++/Error.h>

namespace qoinfo::bus {

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
  for (auto& task : tasks) task();
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
  for (auto& task : due) task();
}

int BusLoop::PollTimeoutMs(int bus_timeout_ms) const {
  int timeout = bus_timeout_ms;
  const Clock::time_point now = Clock::now();
  for (const auto& entry : m_timers) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(
        entry.second.due - now);
    const int ms = static_cast<int>(std::max<std::int64_t>(0, left.count()));
    if (timeout < 0 || ms < timeout) timeout = ms;
  }
  return timeout;
}

BusLoop::End BusLoop::Run() {
  try {
    while (!m_quit) {
      while (!m_quit && m_connection.processPendingRequest()) {
      }
      if (m_quit) break;
      const sdbus::IConnection::PollData data =
          m_connection.getEventLoopPollData();
      pollfd fds[3] = {{data.fd, static_cast<short>(data.events), 0},
                       {m_wakeFd, POLLIN, 0},
                       {m_signalFd, POLLIN, 0}};
      const int ready = poll(fds, 3, PollTimeoutMs(data.getPollTimeout()));
      if (ready < 0 && errno != EINTR) return End::kBusLost;
      if (fds[2].revents & POLLIN) {
        signalfd_siginfo info;
        if (read(m_signalFd, &info, sizeof info) == sizeof info) {
          m_signal = static_cast<int>(info.ssi_signo);
          return End::kSignal;
        }
      }
      if (fds[1].revents & POLLIN) RunPosted();
      RunDueTimers();
    }
  } catch (const sdbus::Error&) {
    // Disconnected: the bus went away (the session ended).
    return End::kBusLost;
  }
  return End::kQuit;
}

}  // namespace qoinfo::bus
