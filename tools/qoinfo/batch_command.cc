// qoinfo batch: many commands in one session, one start-up and one save.
// Each line of the input is a JSON array of strings holding one command and
// its arguments, as they would follow "qoinfo" on a command line; empty
// lines and lines starting with '#' are skipped.
#include <fstream>
#include <iostream>
#include <string>

#include "tools/common/json_reader.h"
#include "tools/qoinfo/command_line.h"
#include "tools/qoinfo/commands.h"
#include "tools/qoinfo/exit_codes.h"

namespace qoinfo::tools {
namespace {

constexpr char kUsage[] =
    "usage: qoinfo batch [--file F] [--stop-on-error]\n"
    "Runs one command per line of F (standard input when not named), each\n"
    "line a JSON array such as [\"add\",\"--time\",\"1\",\"--url\",\"u\","
    "\"--text\",\"t\"].\n"
    "All commands share one agent; the index is saved once, at the end.\n"
    "Exit status: 0 when every command succeeded, else the first failure's.\n";

}  // namespace

int RunBatchCommand(Session& session, const Arguments& args) {
  const std::string command = "batch";
  ParsedArguments parsed;
  std::string error;
  int status = kExitOk;
  if (!ReadCommandArguments(command, args,
                            CommandSyntax{{"--file"}, {"--stop-on-error"}},
                            kUsage, &parsed, &status)) {
    return status;
  }
  if (session.stdin_is_commands) {
    ReportError(command, "a batch cannot run another batch");
    return kExitUsage;
  }
  std::ifstream file;
  std::istream* input = &std::cin;
  if (parsed.Has("--file")) {
    file.open(parsed.Value("--file"), std::ios::binary);
    if (!file) {
      ReportError(command, "cannot open '" + parsed.Value("--file") + "'");
      return kExitFailure;
    }
    input = &file;
  }
  session.stdin_is_commands = !parsed.Has("--file");
  std::string line;
  for (long line_number = 1; std::getline(*input, line); ++line_number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> words;
    error.clear();
    int result = kExitUsage;
    if (!ParseJsonStringArray(line, &words, &error) || words.empty()) {
      ReportError(command, "line " + std::to_string(line_number) + ": " +
                               (words.empty() && error.empty()
                                    ? std::string("no command")
                                    : error));
    } else if (CommandFunction run = FindCommand(words[0]);
               run == nullptr || run == RunBatchCommand) {
      ReportError(command, "line " + std::to_string(line_number) +
                               ": unknown command '" + words[0] + "'");
    } else {
      result = run(session, Arguments(words.begin() + 1, words.end()));
    }
    std::cout.flush();
    if (result != kExitOk && status == kExitOk) status = result;
    if (result != kExitOk && parsed.Has("--stop-on-error")) break;
  }
  session.stdin_is_commands = false;
  return status;
}

}  // namespace qoinfo::tools
