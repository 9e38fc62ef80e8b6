#include "host/linux/apartment.h"

namespace qoinfo::bus {

void Apartment::Post(std::function<void()> task) {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_tasks.push_back(std::move(task));
  }
  m_ready.notify_one();
}

void Apartment::Quit() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_quit = true;
  }
  m_ready.notify_all();
}

bool Apartment::RunOne(const std::function<bool()>& done,
                       Clock::time_point deadline) {
  std::function<void()> task;
  {
    std::unique_lock<std::mutex> lock(m_mutex);
    const auto ready = [this] { return m_quit || !m_tasks.empty(); };
    if (deadline == Clock::time_point::max()) {
      m_ready.wait(lock, ready);
    } else {
      m_ready.wait_until(lock, deadline, ready);
    }
    if (m_tasks.empty()) return false;
    task = std::move(m_tasks.front());
    m_tasks.pop_front();
  }
  task();
  return !done() && Clock::now() < deadline;
}

void Apartment::Run() {
  while (RunOne([] { return false; }, Clock::time_point::max())) {
  }
}

bool Apartment::RunUntil(const std::function<bool()>& done,
                         Clock::time_point deadline) {
  if (done()) return true;
  while (RunOne(done, deadline)) {
  }
  return done();
}

}  // namespace qoinfo::bus
