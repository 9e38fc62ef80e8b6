#include "platform/alert.h"

#include <atomic>
#include <mutex>

namespace platform {
namespace {

// 0: not chosen, else 1 + AlertStyle.
std::atomic<int> g_chosen_style{0};

std::mutex& HandlerMutex() {
  static std::mutex* mutex = new std::mutex;
  return *mutex;
}

AlertHandler& Handler() {
  static AlertHandler* handler = new AlertHandler;
  return *handler;
}

// True when a test handler took the text.
bool HandledForTesting(const std::u16string& text) {
  AlertHandler handler;
  {
    std::lock_guard<std::mutex> lock(HandlerMutex());
    handler = Handler();
  }
  if (!handler) return false;
  handler(text);
  return true;
}

}  // namespace

AlertStyle CurrentAlertStyle() {
  const int chosen = g_chosen_style.load();
  if (chosen != 0) return static_cast<AlertStyle>(chosen - 1);
  return IsInteractiveDesktop() ? AlertStyle::kMessageBox
                                : AlertStyle::kConsoleAndLog;
}

void SetAlertStyle(AlertStyle style) {
  g_chosen_style.store(static_cast<int>(style) + 1);
}

void ShowErrorAlert(const std::u16string& text) {
  if (HandledForTesting(text)) return;
  if (CurrentAlertStyle() == AlertStyle::kMessageBox) {
    ShowModalErrorBox(text);
  } else {
    WriteErrorToConsoleAndLog(text);
  }
}

void LogError(const std::u16string& text) {
  if (HandledForTesting(text)) return;
  WriteErrorToConsoleAndLog(text);
}

void SetAlertHandlerForTesting(AlertHandler handler) {
  std::lock_guard<std::mutex> lock(HandlerMutex());
  Handler() = std::move(handler);
}

}  // namespace platform
