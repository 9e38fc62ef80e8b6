#include <signal.h>

#include <atomic>

#include "platform/interruption.h"

namespace platform {
namespace {

std::atomic<int> g_signal{0};

void OnSignal(int number) { g_signal.store(number); }

}  // namespace

void InstallInterruptionHandlers() {
  struct sigaction action = {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: a blocked read of standard input returns, so that a
  // batch waiting for its next line stops too.
  action.sa_flags = 0;
  for (const int number : {SIGINT, SIGTERM, SIGHUP}) {
    sigaction(number, &action, nullptr);
  }
  signal(SIGPIPE, SIG_IGN);
}

bool InterruptionRequested() { return g_signal.load() != 0; }

int InterruptionExitStatus() {
  const int number = g_signal.load();
  return 128 + (number != 0 ? number : SIGINT);
}

}  // namespace platform
