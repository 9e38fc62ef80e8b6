// LastObjectWait: how a local server ends. Once it has withdrawn its class
// objects, clients may still hold objects they took just before (a request
// can arrive after the idle rule decided to end, before the withdrawal): the
// server goes on serving them and ends when the module lock count is zero.
//
// Made on the serving thread before the withdrawal; for its life it is the
// lock count's listener and posts the quit message to that thread at every
// fall to zero, so that no fall between the withdrawal and Serve is missed.
#pragma once

#include <windows.h>

#include "com/module_lock.h"
#include "host/windows/message_loop_win.h"

namespace qoinfo::win {

class LastObjectWait final : public ModuleLockListener {
 public:
  LastObjectWait() : m_thread(GetCurrentThreadId()) {
    ProcessModuleLock().SetListener(this);
  }
  ~LastObjectWait() { ProcessModuleLock().SetListener(nullptr); }
  LastObjectWait(const LastObjectWait&) = delete;
  LastObjectWait& operator=(const LastObjectWait&) = delete;

  // Serves the thread's messages until no object is left (at once when
  // none is).
  void Serve() {
    if (ProcessModuleLock().Count() > 0) RunMessageLoop();
  }

  void OnLockCountZero() override {
    PostThreadMessageW(m_thread, WM_QUIT, 0, 0);
  }

 private:
  const DWORD m_thread;
};

}  // namespace qoinfo::win
