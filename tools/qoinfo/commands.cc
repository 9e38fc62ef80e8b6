// The table of qoinfo commands, shared by the command line and batches.
#include "tools/qoinfo/commands.h"

#include <algorithm>

#include "tools/common/exit_codes.h"
#include "tools/qoinfo/words_command.h"

namespace qoinfo::tools {
namespace {

int RunWords(Session& session, const Arguments& args) {
  if (session.stdin_is_commands &&
      std::find(args.begin(), args.end(), "--text-file") == args.end()) {
    ReportError("words", "in a batch, the text comes from --text-file");
    return kExitUsage;
  }
  return RunWordsCommand(args);
}

}  // namespace

CommandFunction FindCommand(const std::string& name) {
  struct Entry {
    const char* name;
    CommandFunction run;
  };
  static const Entry kCommands[] = {
      {"add", RunAddCommand},
      {"search", RunSearchCommand},
      {"forget", RunForgetCommand},
      {"import", RunImportCommand},
      {"stats", RunStatsCommand},
      {"config", RunConfigCommand},
      {"words", RunWords},
      {"batch", RunBatchCommand},
      {"sync", RunSyncCommand},
      {"install-browser", RunInstallBrowserCommand},
      {"uninstall-browser", RunUninstallBrowserCommand},
      {"host-manifest", RunHostManifestCommand},
  };
  for (const Entry& entry : kCommands) {
    if (name == entry.name) return entry.run;
  }
  return nullptr;
}

}  // namespace qoinfo::tools
