// qoinfo: the command-line way into QoInfoAgent. Commands that touch the
// index run the agent inside this process: one start-up, the command, one
// orderly shutdown that saves the index.
#include <filesystem>
#include <iostream>
#include <system_error>

#include "platform/hresult_error.h"
#include "platform/interruption.h"
#include "platform/utf8_main.h"
#include "tools/common/text_input.h"
#include "tools/qoinfo/commands.h"
#include "tools/common/exit_codes.h"
#include "tools/qoinfo/session.h"

namespace qoinfo::tools {
namespace {

constexpr char kUsage[] =
    "usage: qoinfo [--data-dir DIR] [--embedded | --server] COMMAND [OPTIONS]\n"
    "commands:\n"
    "  add --time T --url U [--path P] [--title TI] [--text-file F | --text "
    "TEXT]\n"
    "                     record a visit and index its page text\n"
    "  search [--json] [--limit N] [--prefix] QUERY...\n"
    "                     the pages holding the query's words, best first\n"
    "  forget --time T --url U\n"
    "                     remove a visit; its page leaves the index\n"
    "  import [--json] DIR...\n"
    "                     add every HTML file under the folders as a visit\n"
    "  import-history [--browser chromium|chrome|firefox] [--profile DIR]\n"
    "                 [--since TIME] [--limit N] [--fetch] [--json]\n"
    "                     add the visits of the browsers' histories\n"
    "  stats [--json]     sizes of the index and the history\n"
    "  config store-text [on|off]\n"
    "                     keep page texts for snippets (default on)\n"
    "  words [--json] [--text-file F]\n"
    "                     the words a text is indexed under\n"
    "  batch [--file F]   one command per line, as JSON arrays, one session\n"
    "  sync [--json]      bring the index back into step with the history\n"
    "  install-browser [--browser chromium|chrome|firefox] [--json]\n"
    "                     let the browser start qoinfo-native-host for the\n"
    "                     QoInfoAgent extension\n"
    "  uninstall-browser [--browser chromium|chrome|firefox] [--json]\n"
    "                     remove what install-browser wrote\n"
    "  host-manifest --browser chromium|chrome|firefox [--host PATH]\n"
    "                     print the browser's host manifest (for installers)\n"
    "--data-dir DIR names the data directory (default: $QOINFO_DATA_DIR, else\n"
    "the user's data folder). The agent runs in the QoInfoAgent server when "
    "it\n"
    "is registered or running, else in qoinfo itself; --embedded runs it "
    "here,\n"
    "--server insists on the server. Run 'qoinfo COMMAND --help' for a "
    "command's\n"
    "options; 'qoinfo --version' for the version.\n"
    "Exit status: 0 done, 1 failed, 2 bad arguments or input, 3 done but the\n"
    "index was recovered from damage with losses, 128+N stopped by signal N.\n";

// Runs the command; no exception leaves it.
int RunGuarded(CommandFunction run, Session& session, const Arguments& args,
               const std::string& command) {
  try {
    return run(session, args);
  } catch (...) {
    ReportError(command,
                DescribeHResult(platform::HResultFromCurrentException()));
    return kExitFailure;
  }
}

}  // namespace

}  // namespace qoinfo::tools

int Utf8Main(const std::vector<std::string>& args) {
  using namespace qoinfo::tools;
  std::vector<std::string> rest(args.begin() + (args.empty() ? 0 : 1),
                                args.end());
  // Options of qoinfo itself come before the command.
  std::string data_directory;
  std::string place_option;
  AgentPlace place = AgentPlace::kAnywhere;
  while (!rest.empty() && (rest[0].rfind("--data-dir", 0) == 0 ||
                           rest[0] == "--embedded" || rest[0] == "--server")) {
    if (rest[0] == "--embedded" || rest[0] == "--server") {
      if (!place_option.empty() && place_option != rest[0]) {
        std::cerr << "qoinfo: give --embedded or --server, not both\n";
        return kExitUsage;
      }
      place_option = rest[0];
      place =
          rest[0] == "--server" ? AgentPlace::kServer : AgentPlace::kEmbedded;
      rest.erase(rest.begin());
      continue;
    }
    if (rest[0] == "--data-dir" && rest.size() >= 2) {
      data_directory = rest[1];
      rest.erase(rest.begin(), rest.begin() + 2);
    } else if (rest[0].rfind("--data-dir=", 0) == 0) {
      data_directory = rest[0].substr(11);
      rest.erase(rest.begin());
    } else {
      std::cerr << "qoinfo: --data-dir needs a folder\n" << kUsage;
      return kExitUsage;
    }
    if (data_directory.empty()) {
      std::cerr << "qoinfo: --data-dir needs a folder\n" << kUsage;
      return kExitUsage;
    }
  }
  if (rest.empty()) {
    std::cerr << kUsage;
    return kExitUsage;
  }
  const std::string command = rest[0];
  if (command == "-h" || command == "--help" || command == "help") {
    std::cout << kUsage;
    return kExitOk;
  }
  if (command == "--version") {
    std::cout << kVersionText << "\n";
    return kExitOk;
  }
  const CommandFunction run = FindCommand(command);
  if (run == nullptr) {
    std::cerr << "qoinfo: unknown command '" << command << "'\n" << kUsage;
    return kExitUsage;
  }
  std::u16string directory;
  std::string error;
  if (!DecodeUtf8Name(data_directory, &directory, &error)) {
    std::cerr << "qoinfo: --data-dir: " << error << "\n";
    return kExitUsage;
  }
  if (!directory.empty()) {
    // Messages and stats name the folder the way it is found again.
    std::error_code ignored;
    const std::filesystem::path absolute =
        std::filesystem::absolute(std::filesystem::path(directory), ignored);
    if (!absolute.empty()) directory = absolute.u16string();
  }
  platform::InstallInterruptionHandlers();
  Session session(directory, place);
  int status = RunGuarded(run, session, Arguments(rest.begin() + 1, rest.end()),
                          command);
  const int finished = session.Finish();
  if (status == kExitOk) status = finished;
  if (!(std::cout << std::flush)) {
    std::cerr << "qoinfo " << command << ": the output could not be written\n";
    if (status == kExitOk) status = kExitFailure;
  }
  if (platform::InterruptionRequested()) {
    std::cerr << "qoinfo " << command
              << ": interrupted; the work done so far is saved\n";
    status = platform::InterruptionExitStatus();
  }
  return status;
}
