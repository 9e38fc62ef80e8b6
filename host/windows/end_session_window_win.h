// A hidden top-level window that answers the end of the session: Windows
// sends WM_QUERYENDSESSION and WM_ENDSESSION only to top-level windows and
// ends the process right after the second is handled, so whatever must be
// saved is saved inside that handler. A windowless process is simply ended.
//
// Created and destroyed on the serving thread, whose message loop serves it.
#pragma once

#include <windows.h>

#include <functional>

namespace qoinfo::win {

class EndSessionWindow {
 public:
  // `at_end` runs inside WM_ENDSESSION when the session really ends.
  explicit EndSessionWindow(std::function<void()> at_end);
  ~EndSessionWindow();
  EndSessionWindow(const EndSessionWindow&) = delete;
  EndSessionWindow& operator=(const EndSessionWindow&) = delete;

  bool created() const { return m_window != nullptr; }

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam,
                                    LPARAM lparam);

  std::function<void()> m_atEnd;
  HWND m_window = nullptr;
};

}  // namespace qoinfo::win
