#include "host/windows/event_log_win.h"

#include <windows.h>

#include <string>

namespace qoinfo::win {
namespace {

constexpr std::size_t kLogBufferCharacters = 256;

void WriteLine(const std::wstring& text) {
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (out == nullptr || out == INVALID_HANDLE_VALUE) return;
  std::wstring line = text + L"\r\n";
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, line.c_str(),
                                        static_cast<int>(line.size()), nullptr,
                                        0, nullptr, nullptr);
  if (bytes <= 0) return;
  std::string utf8(static_cast<std::size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()),
                      utf8.data(), bytes, nullptr, nullptr);
  DWORD written = 0;
  WriteFile(out, utf8.data(), static_cast<DWORD>(utf8.size()), &written,
            nullptr);
}

}  // namespace

void LogServerEvent(const std::wstring& source, std::wstring text,
                    bool to_standard_output) {
  if (text.size() >= kLogBufferCharacters) text.resize(kLogBufferCharacters - 1);
  const HANDLE log = RegisterEventSourceW(nullptr, source.c_str());
  if (log != nullptr) {
    const wchar_t* strings[] = {text.c_str()};
    ReportEventW(log, EVENTLOG_INFORMATION_TYPE, 0, 0, nullptr, 1, 0, strings,
                 nullptr);
    DeregisterEventSource(log);
  }
  if (to_standard_output) WriteLine(text);
}

}  // namespace qoinfo::win
