// The serving thread's message loop: gets, translates and dispatches the
// thread's messages until the quit message (or an error). Every call into a
// server's objects arrives through it.
#pragma once

#include <windows.h>

namespace qoinfo::win {

inline void RunMessageLoop() {
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

}  // namespace qoinfo::win
