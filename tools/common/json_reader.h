// Reading the one JSON shape the tools take as input: an array of strings,
// such as a command line in a batch file: ["add", "--url", "http://x"].
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qoinfo::tools {

// Parses `text` (UTF-8; white space around tokens allowed) as a JSON array
// of strings into `items` (UTF-8). False with `error` naming the byte offset
// when it is anything else, including a string with an unpaired surrogate
// escape or invalid UTF-8.
bool ParseJsonStringArray(std::string_view text, std::vector<std::string>* items,
                          std::string* error);

}  // namespace qoinfo::tools
