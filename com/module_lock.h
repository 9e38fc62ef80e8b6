// The module lock count: how many live server objects and explicit locks the
// process holds. Every enumerator, the agent's event sink and the shared
// agent (while clients hold it) keep one lock; class objects add a lock per
// lock-server request. When the count falls to zero the host may begin its
// idle shutdown; the timing of that rule belongs to the host, which listens
// here for the falls to zero.
//
// One count per process (ProcessModuleLock); independent instances exist only
// for tests. Thread-safe: the count changes with atomic increments and
// decrements and may be changed from any thread.
#pragma once

#include <atomic>
#include <cstdint>

namespace qoinfo {

// Told, on the thread whose Unlock brought the count to zero, of each fall
// to zero. It must not block (an object's destructor may be running) and
// must not set the count's listener itself.
class ModuleLockListener {
 public:
  virtual void OnLockCountZero() = 0;

 protected:
  ~ModuleLockListener() = default;
};

class CModuleLockCount {
 public:
  CModuleLockCount() = default;
  CModuleLockCount(const CModuleLockCount&) = delete;
  CModuleLockCount& operator=(const CModuleLockCount&) = delete;

  // Increments the count; returns the new count.
  std::int32_t Lock();
  // Decrements the count; returns the new count. A result of zero is passed
  // on to the listener, if one is set.
  std::int32_t Unlock();
  // The count now (another thread may change it at once).
  std::int32_t Count() const;

  // Sets the listener (nullptr: none). Returns once no fall is being told
  // to the listener it replaced, so that listener may be destroyed at once;
  // the host sets it before serving and clears it after.
  void SetListener(ModuleLockListener* listener);

 private:
  std::atomic<std::int32_t> m_count{0};
  std::atomic<ModuleLockListener*> m_listener{nullptr};
  // Falls being told to a listener right now.
  std::atomic<std::int32_t> m_telling{0};
};

// The process-wide count.
CModuleLockCount& ProcessModuleLock();

// IClassFactory::LockServer of every class object: one more or one less
// explicit lock on the process-wide count.
inline void ChangeServerLock(bool lock) {
  if (lock) {
    ProcessModuleLock().Lock();
  } else {
    ProcessModuleLock().Unlock();
  }
}

// One lock on the process-wide count, held from construction to destruction;
// a member of every object that keeps the server alive.
class ModuleLockHolder {
 public:
  ModuleLockHolder() { ProcessModuleLock().Lock(); }
  ~ModuleLockHolder() { ProcessModuleLock().Unlock(); }
  ModuleLockHolder(const ModuleLockHolder&) = delete;
  ModuleLockHolder& operator=(const ModuleLockHolder&) = delete;
};

}  // namespace qoinfo
