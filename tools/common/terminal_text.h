// Text for a terminal: what pages chose (URLs, titles) must not reach the
// terminal as control sequences. Control characters (C0, DEL, C1) and the
// bidirectional overrides are written as visible escapes: "\t", "\n", "\r",
// "\xHH" for the rest of C0 and DEL, "\u{HHHH}" for C1 and the overrides.
// Backslashes stay as they are.
#pragma once

#include <string>
#include <string_view>

#include "agent/snippet.h"

namespace qoinfo::tools {

// `utf8` (valid UTF-8) with every control character escaped.
std::string TerminalSafe(std::string_view utf8);

// A snippet as one line: its text made TerminalSafe, "…" where the page's
// text goes on before or after it, and its marked words between ESC [1m and
// ESC [22m when `bold` (a terminal), plain otherwise.
std::string TerminalSnippet(const Snippet& snippet, bool bold);

}  // namespace qoinfo::tools
