// A request from outside to stop: Ctrl+C, SIGTERM, SIGHUP, or (POSIX) the
// reader of standard output going away. Long commands look at
// InterruptionRequested between steps, stop there and end in order (the
// index saved). A closed output pipe no longer kills the process: writes
// fail instead, and the command stops at its next step.
#pragma once

namespace platform {

// Installs the handlers; once per process, before the work begins.
void InstallInterruptionHandlers();
bool InterruptionRequested();
// The exit status that reports the interruption: 128 + the signal on
// POSIX (130 for Ctrl+C, 143 for SIGTERM), 130 on Windows.
int InterruptionExitStatus();

}  // namespace platform
