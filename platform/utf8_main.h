// The entry point of the command-line tools. The platform's own main (wmain
// on Windows, with UTF-16 arguments) converts the arguments to UTF-8, sets
// standard input and output to binary UTF-8, and calls Utf8Main, which each
// tool defines.
#pragma once

#include <string>
#include <vector>

int Utf8Main(const std::vector<std::string>& args);
