#include <windows.h>

#include <atomic>

#include "platform/interruption.h"

namespace platform {
namespace {

std::atomic<bool> g_requested{false};

BOOL WINAPI OnConsoleControl(DWORD) {
  g_requested.store(true);
  // Handled: the process ends itself, in order.
  return TRUE;
}

}  // namespace

void InstallInterruptionHandlers() {
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

bool InterruptionRequested() { return g_requested.load(); }

int InterruptionExitStatus() { return 130; }

}  // namespace platform
