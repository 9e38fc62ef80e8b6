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

bool Apartment::RunOne(const std::function<bool()>& done) {
  std::function<void()> task;
  {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_ready.wait(lock, [this] { return m_quit || !m_tasks.empty(); });
    if (m_tasks.empty()) return false;
    task = std::move(m_tasks.front());
    m_tasks.pop_front();
  }
  task();
  return !done();
}

void Apartment::Run() {
  while (RunOne([] { return false; })) {
  }
}

bool Apartment::RunUntil(const std::function<bool()>& done) {
  if (done()) return true;
  while (RunOne(done)) {
  }
  return done();
}

}  // namespace qoinfo::bus
