// Alerts on Windows: a message box when the process's window station is
// visible (a user's desktop), else standard error and the Application event
// log under the source "QoInfoAgent".
#include <windows.h>

#include <cstdio>
#include <string>

#include "platform/alert.h"
#include "platform/utf8.h"
#include "platform/wide_string.h"

namespace platform {

bool IsInteractiveDesktop() {
  HWINSTA station = GetProcessWindowStation();
  if (station == nullptr) return false;
  USEROBJECTFLAGS flags{};
  DWORD needed = 0;
  if (!GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof(flags),
                                 &needed)) {
    return false;
  }
  return (flags.dwFlags & WSF_VISIBLE) != 0;
}

void ShowModalErrorBox(const std::u16string& text) {
  const OleString wide = ToOleString(text);
  MessageBoxW(nullptr, wide.c_str(), L"Error", MB_OK | MB_ICONERROR);
}

void WriteErrorToConsoleAndLog(const std::u16string& text) {
  const std::string line = Utf16ToUtf8(text);
  std::fprintf(stderr, "%s\n", line.c_str());
  std::fflush(stderr);
  HANDLE source = RegisterEventSourceW(nullptr, L"QoInfoAgent");
  if (source == nullptr) return;
  const OleString wide = ToOleString(text);
  const wchar_t* strings[] = {wide.c_str()};
  ReportEventW(source, EVENTLOG_ERROR_TYPE, 0, 0, nullptr, 1, 0, strings,
               nullptr);
  DeregisterEventSource(source);
}

}  // namespace platform
