// qoinfo host-manifest: the native-messaging host manifest for one browser,
// naming a given host program, on standard output. What install-browser
// writes for a user; packages write the same text at system level.
#include <iostream>
#include <string>

#include "tools/common/exit_codes.h"
#include "tools/qoinfo/command_line.h"
#include "tools/qoinfo/commands.h"
#include "tools/qoinfo/host_manifests.h"

namespace qoinfo::tools {
namespace {

constexpr char kUsage[] =
    "usage: qoinfo host-manifest --browser chromium|chrome|firefox "
    "--host PATH\n"
    "Prints the host manifest that lets the browser start the native host\n"
    "PATH (absolute) for the QoInfoAgent extension.\n";

}  // namespace

int RunHostManifestCommand(Session&, const Arguments& args) {
  const std::string command = "host-manifest";
  ParsedArguments parsed;
  int status = kExitOk;
  if (!ReadCommandArguments(command, args,
                            CommandSyntax{{"--browser", "--host"}, {}}, kUsage,
                            &parsed, &status)) {
    return status;
  }
  Browser browser;
  if (!FindBrowser(parsed.Value("--browser"), &browser)) {
    ReportError(command, "--browser must be chromium, chrome or firefox");
    return kExitUsage;
  }
  const std::string host = parsed.Value("--host");
  if (host.empty() || (host[0] != '/' && host.find(":\\") != 1)) {
    ReportError(command, "--host must name the host program by its absolute path");
    return kExitUsage;
  }
  std::cout << HostManifestJson(browser, host);
  return kExitOk;
}

}  // namespace qoinfo::tools
