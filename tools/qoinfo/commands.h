// The qoinfo commands. Each takes the session and its own arguments (after
// the command's name) and returns the exit status; errors are written to
// standard error as "qoinfo <command>: <message>".
#pragma once

#include <string>
#include <vector>

#include "tools/qoinfo/session.h"

namespace qoinfo::tools {

using Arguments = std::vector<std::string>;

int RunAddCommand(Session& session, const Arguments& args);
int RunForgetCommand(Session& session, const Arguments& args);
int RunSearchCommand(Session& session, const Arguments& args);
int RunImportCommand(Session& session, const Arguments& args);
int RunStatsCommand(Session& session, const Arguments& args);
int RunConfigCommand(Session& session, const Arguments& args);
int RunBatchCommand(Session& session, const Arguments& args);
int RunSyncCommand(Session& session, const Arguments& args);
int RunInstallBrowserCommand(Session& session, const Arguments& args);
int RunUninstallBrowserCommand(Session& session, const Arguments& args);
int RunHostManifestCommand(Session& session, const Arguments& args);

// The command named `name`, or null.
using CommandFunction = int (*)(Session& session, const Arguments& args);
CommandFunction FindCommand(const std::string& name);

}  // namespace qoinfo::tools
