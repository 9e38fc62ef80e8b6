// Alerts on POSIX: no desktop to show a box on; standard error and syslog,
// which the journal collects on systemd machines.
#include <syslog.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "platform/alert.h"
#include "platform/utf8.h"

namespace platform {

bool IsInteractiveDesktop() { return false; }

void ShowModalErrorBox(const std::u16string& text) {
  WriteErrorToConsoleAndLog(text);
}

void WriteErrorToConsoleAndLog(const std::u16string& text) {
  const std::string line = Utf16ToUtf8(text);
  std::fprintf(stderr, "%s\n", line.c_str());
  std::fflush(stderr);
  // Without openlog the identity is the program's name.
  syslog(LOG_ERR, "%s", line.c_str());
}

}  // namespace platform
