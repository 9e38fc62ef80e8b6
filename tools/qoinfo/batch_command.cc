// qoinfo batch: many commands in one session, one start-up and one save.
// Each line of the input is a JSON array of strings holding one command and
// its arguments, as they would follow "qoinfo" on a command line; blank
// lines and lines starting with '#' are skipped. An interruption stops the
// batch between lines.
#include <iostream>
#include <sstream>
#include <string>

#include "platform/hresult_error.h"
#include "platform/interruption.h"
#include "tools/common/json_reader.h"
#include "tools/common/text_input.h"
#include "tools/qoinfo/command_line.h"
#include "tools/qoinfo/commands.h"
#include "tools/common/exit_codes.h"

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
  std::istringstream file;
  std::istream* input = &std::cin;
  if (parsed.Has("--file")) {
    std::string bytes;
    if (!ReadAllBytes(parsed.Value("--file"), &bytes, &error)) {
      ReportError(command, error);
      return kExitFailure;
    }
    file.str(std::move(bytes));
    input = &file;
  }
  session.stdin_is_commands = !parsed.Has("--file");
  std::string line;
  for (long line_number = 1;
       !platform::InterruptionRequested() && std::getline(*input, line);
       ++line_number) {
    const std::size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos || line[first] == '#') continue;
    if (line.back() == '\r') line.pop_back();
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
      try {
        result = run(session, Arguments(words.begin() + 1, words.end()));
      } catch (...) {
        ReportError(command, "line " + std::to_string(line_number) + ": " +
                                 DescribeHResult(
                                     platform::HResultFromCurrentException()));
        result = kExitFailure;
      }
    }
    if (!(std::cout << std::flush)) {
      ReportError(command, "the output could not be written; stopping");
      if (status == kExitOk) status = kExitFailure;
      break;
    }
    if (result != kExitOk && status == kExitOk) status = result;
    if (result != kExitOk && parsed.Has("--stop-on-error")) break;
  }
  if (std::cin.bad() && !parsed.Has("--file") &&
      !platform::InterruptionRequested()) {
    ReportError(command, "standard input could not be read");
    if (status == kExitOk) status = kExitFailure;
  }
  session.stdin_is_commands = false;
  return status;
}

}  // namespace qoinfo::tools
