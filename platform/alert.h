// Telling the person at the machine about a failure that no caller can be
// told about in detail (the agent's start-up announces a missing history
// component this way). Either a modal message box on an interactive desktop
// or a line on standard error that also goes to the system log (the journal
// on Linux, the event log on Windows). Thread-safe.
#pragma once

#include <functional>
#include <string>

namespace platform {

enum class AlertStyle {
  kMessageBox,     // modal box, caption "Error", error icon; waits for the user
  kConsoleAndLog,  // standard error and the system log; never waits
};

// The style in effect: what SetAlertStyle chose, else the platform's choice
// (a message box on an interactive Windows desktop, the console otherwise).
AlertStyle CurrentAlertStyle();
// Chooses the style for the rest of the process: services and command-line
// tools choose kConsoleAndLog.
void SetAlertStyle(AlertStyle style);

// Shows `text` as an error in the current style.
void ShowErrorAlert(const std::u16string& text);
// Writes `text` to standard error and the system log, whatever the style:
// for failures that must never block.
void LogError(const std::u16string& text);

// For tests: when set, receives what ShowErrorAlert and LogError would show,
// and nothing reaches the user. An empty function restores the real output.
using AlertHandler = std::function<void(const std::u16string& text)>;
void SetAlertHandlerForTesting(AlertHandler handler);

// Implemented per platform.
bool IsInteractiveDesktop();
void ShowModalErrorBox(const std::u16string& text);
void WriteErrorToConsoleAndLog(const std::u16string& text);

}  // namespace platform
