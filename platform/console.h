// Facts about the console the process writes to.
#pragma once

namespace platform {

// True when standard error is a terminal (a person is watching), so that
// progress may be drawn on it.
bool IsStandardErrorTerminal();

// True when standard output is a terminal that shows bold text written as
// the escape sequences ESC [1m and ESC [22m (on Windows: a console that
// takes them, which is asked to once).
bool StandardOutputShowsBold();

}  // namespace platform
