// `qoinfo words`: prints the word-count map the agent would file for a text.
#pragma once

#include <string>
#include <vector>

namespace qoinfo::tools {

// `args` are the arguments after "words". Returns the process exit status.
int RunWordsCommand(const std::vector<std::string>& args);

}  // namespace qoinfo::tools
