// Finding the registration switches on a server's command line. Every '-'
// and '/' in the whole line (program path included) starts a candidate word;
// a candidate names a switch when it equals the switch's name, both
// upper-cased, and ends where the name ends, at a space, a tab or the end of
// the line. A first pass looks for "UnregServer" and "RegServer", a second
// one, only when the first found neither, for "Version", and a third, only
// when that found nothing either, for "Service".
//
// Pure functions over UTF-16 text; both servers (Windows and Linux) use
// them. Thread-safe.
#pragma once

#include <string_view>

namespace qoinfo {

enum class ServerSwitch { kNone, kRegServer, kUnregServer, kService, kVersion };

// The switch `command_line` asks for.
ServerSwitch FindServerSwitch(std::u16string_view command_line);

// Whether `candidate` (the text after a '-' or '/') starts with `name`,
// compared upper-cased, followed by a space, a tab or the end.
bool CandidateMatches(std::u16string_view candidate, std::u16string_view name);

}  // namespace qoinfo
