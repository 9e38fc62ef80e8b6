#include "com/module_lock.h"

#include <thread>

namespace qoinfo {
namespace {

// `before` + `step` with 32-bit wrap-around, as the atomic operation itself
// computed it (and as the system's interlocked operations do).
std::int32_t Wrapped(std::int32_t before, std::int32_t step) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(before) +
                                   static_cast<std::uint32_t>(step));
}

// Constant-initialised and trivially destructible, so that it exists before
// any object is created and after the last one is destroyed.
constinit CModuleLockCount g_processLock;

}  // namespace

std::int32_t CModuleLockCount::Lock() {
  return Wrapped(m_count.fetch_add(1, std::memory_order_acq_rel), 1);
}

std::int32_t CModuleLockCount::Unlock() {
  const std::int32_t count =
      Wrapped(m_count.fetch_sub(1, std::memory_order_acq_rel), -1);
  if (count == 0) {
    // Announced before the listener is read: SetListener either sees this
    // telling and waits for it, or has already replaced the listener.
    m_telling.fetch_add(1, std::memory_order_seq_cst);
    if (ModuleLockListener* listener =
            m_listener.load(std::memory_order_seq_cst)) {
      listener->OnLockCountZero();
    }
    m_telling.fetch_sub(1, std::memory_order_release);
  }
  return count;
}

std::int32_t CModuleLockCount::Count() const {
  return m_count.load(std::memory_order_acquire);
}

void CModuleLockCount::SetListener(ModuleLockListener* listener) {
  m_listener.store(listener, std::memory_order_seq_cst);
  // A listener must not block, so the wait is short.
  while (m_telling.load(std::memory_order_seq_cst) != 0) {
    std::this_thread::yield();
  }
}

CModuleLockCount& ProcessModuleLock() { return g_processLock; }

}  // namespace qoinfo
