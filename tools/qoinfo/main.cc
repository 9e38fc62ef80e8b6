// qoinfo: the command-line way into QoInfoAgent.
#include <iostream>

#include "platform/utf8_main.h"
#include "tools/qoinfo/exit_codes.h"
#include "tools/qoinfo/words_command.h"

namespace {

constexpr char kUsage[] =
    "usage: qoinfo COMMAND [OPTIONS]\n"
    "commands:\n"
    "  words [--json] [--text-file FILE]   print the words a text is indexed under\n"
    "Run 'qoinfo COMMAND --help' for a command's options.\n";

}  // namespace

int Utf8Main(const std::vector<std::string>& args) {
  using namespace qoinfo::tools;
  if (args.size() < 2) {
    std::cerr << kUsage;
    return kExitUsage;
  }
  const std::string& command = args[1];
  const std::vector<std::string> rest(args.begin() + 2, args.end());
  if (command == "words") return RunWordsCommand(rest);
  if (command == "-h" || command == "--help" || command == "help") {
    std::cout << kUsage;
    return kExitOk;
  }
  std::cerr << "qoinfo: unknown command '" << command << "'\n" << kUsage;
  return kExitUsage;
}
