// Facts about the console the process writes to.
#pragma once

namespace platform {

// True when standard error is a terminal (a person is watching), so that
// progress may be drawn on it.
bool IsStandardErrorTerminal();

}  // namespace platform
