// qoinfo install-browser and qoinfo uninstall-browser: the host manifests
// that let the browsers start qoinfo-native-host for our extension, written
// at user level where each browser looks (manifest_places.h), and removed.
// qoinfo host-manifest prints such a manifest for installers, which put it
// at machine level themselves.
#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include "host/atomic_file.h"
#include "platform/file_system.h"
#include "platform/utf8.h"
#include "tools/common/exit_codes.h"
#include "tools/common/json_writer.h"
#include "tools/qoinfo/command_line.h"
#include "tools/qoinfo/commands.h"
#include "tools/qoinfo/host_manifests.h"
#include "tools/qoinfo/manifest_places.h"

namespace qoinfo::tools {
namespace {

constexpr char kInstallUsage[] =
    "usage: qoinfo install-browser [--browser chromium|chrome|firefox] "
    "[--json]\n"
    "Lets the browser (default: all three) start qoinfo-native-host for the\n"
    "QoInfoAgent extension: writes its host manifest for this user, and says\n"
    "how to load the extension.\n";

constexpr char kUninstallUsage[] =
    "usage: qoinfo uninstall-browser [--browser chromium|chrome|firefox] "
    "[--json]\n"
    "Removes what install-browser wrote for the browser (default: all "
    "three).\n";

constexpr char kHostManifestUsage[] =
    "usage: qoinfo host-manifest --browser chromium|chrome|firefox "
    "[--host PATH]\n"
    "Prints the browser's host manifest for the QoInfoAgent extension, naming\n"
    "the native host PATH (default: qoinfo-native-host beside this program),\n"
    "and writes nothing. Installers place it where the browser looks.\n";

constexpr char kLoadExtension[] =
    "Then load the extension from that folder, once per browser:\n"
    "  Chromium, Chrome: open chrome://extensions, turn on \"Developer "
    "mode\",\n"
    "    choose \"Load unpacked\" and pick the folder; its id is %ID%.\n"
    "  Firefox: open about:debugging#/runtime/this-firefox, choose \"Load\n"
    "    Temporary Add-on...\" and pick manifest.json in the folder.\n";

// HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)
constexpr HRESULT kFileNotFound = static_cast<HRESULT>(0x80070002u);

std::string Utf8(const std::u16string& text) {
  return platform::Utf16ToUtf8(text);
}

// The browsers --browser names (all when it is not given). False after
// reporting an unknown name.
bool ChosenBrowsers(const std::string& command, const ParsedArguments& parsed,
                    std::vector<Browser>* browsers) {
  if (!parsed.Has("--browser")) {
    *browsers = AllBrowsers();
    return true;
  }
  Browser browser;
  if (!FindBrowser(parsed.Value("--browser"), &browser)) {
    ReportError(command, "--browser must be chromium, chrome or firefox");
    return false;
  }
  *browsers = {browser};
  return true;
}

using Places = std::vector<std::pair<Browser, ManifestPlace>>;

// Reads the arguments and finds each browser's place. False when the
// command ends here, with its exit status.
bool Prepare(const std::string& command, const Arguments& args,
             const char* usage, ParsedArguments* parsed, Places* places,
             int* status) {
  if (!ReadCommandArguments(command, args,
                            CommandSyntax{{"--browser"}, {"--json"}}, usage,
                            parsed, status)) {
    return false;
  }
  std::vector<Browser> browsers;
  *status = kExitUsage;
  if (!ChosenBrowsers(command, *parsed, &browsers)) return false;
  *status = kExitFailure;
  for (const Browser browser : browsers) {
    ManifestPlace place;
    std::string why;
    if (!FindManifestPlace(browser, &place, &why)) {
      ReportError(command, why);
      return false;
    }
    places->emplace_back(browser, place);
  }
  *status = kExitOk;
  return true;
}

void ReportPlaceFailure(const std::string& command, bool json, Browser browser,
                        const ManifestPlace& place, const char* what,
                        HRESULT hr) {
  ReportFailure(command, json,
                std::string(BrowserName(browser)) + ": " + Utf8(place.file) +
                    " could not be " + what + ": " + DescribeHResult(hr),
                hr);
}

std::string RegistryText(const ManifestPlace& place) {
  return place.registry_key.empty() ? std::string()
                                    : "HKCU\\" + Utf8(place.registry_key);
}

int Install(const std::string& command, bool json, const Places& places) {
  const std::u16string host = NativeHostProgram();
  if (!platform::FileExists(host)) {
    ReportFailure(command, json,
                  "the native host " + Utf8(host) + " is not there",
                  kFileNotFound);
    return kExitFailure;
  }
  const std::string extension = Utf8(ExtensionFolder());
  for (const auto& [browser, place] : places) {
    HRESULT hr =
        WriteFileAtomically(place.file, HostManifestJson(browser, Utf8(host)));
    if (SUCCEEDED(hr)) hr = RegisterManifestPlace(place);
    if (FAILED(hr)) {
      ReportPlaceFailure(command, json, browser, place, "written", hr);
      return kExitFailure;
    }
    const std::string registry = RegistryText(place);
    if (json) {
      std::cout << "{\"browser\":" << JsonQuote(BrowserName(browser))
                << ",\"manifest\":" << JsonQuote(Utf8(place.file))
                << (registry.empty()
                        ? ""
                        : ",\"registry_key\":" + JsonQuote(registry))
                << ",\"host\":" << JsonQuote(Utf8(host))
                << ",\"extension\":" << JsonQuote(extension)
                << ",\"extension_id\":" << JsonQuote(ExtensionId(browser))
                << "}\n";
    } else {
      std::cout << BrowserName(browser) << ": wrote " << Utf8(place.file)
                << (registry.empty() ? "" : ", named by " + registry) << "\n";
    }
  }
  if (!json) {
    std::cout << "The browsers now start " << Utf8(host)
              << " for the QoInfoAgent extension.\nThe extension's folder: "
              << (extension.empty() ? "browser/extension in QoInfoAgent's "
                                      "sources"
                                    : extension)
              << "\n";
    std::string how = kLoadExtension;
    how.replace(how.find("%ID%"), 4, kChromiumExtensionId);
    std::cout << how;
  }
  return kExitOk;
}

int Uninstall(const std::string& command, bool json, const Places& places) {
  for (const auto& [browser, place] : places) {
    const bool present = platform::FileExists(place.file);
    HRESULT hr = UnregisterManifestPlace(place);
    if (SUCCEEDED(hr)) hr = platform::RemoveFileDurably(place.file);
    if (FAILED(hr)) {
      ReportPlaceFailure(command, json, browser, place, "removed", hr);
      return kExitFailure;
    }
    if (json) {
      std::cout << "{\"browser\":" << JsonQuote(BrowserName(browser))
                << ",\"manifest\":" << JsonQuote(Utf8(place.file))
                << ",\"removed\":" << (present ? "true" : "false") << "}\n";
    } else {
      std::cout << BrowserName(browser) << ": "
                << (present ? "removed " : "nothing to remove at ")
                << Utf8(place.file) << "\n";
    }
  }
  if (!json) {
    std::cout << "Remove the extension itself on the browser's extensions "
                 "page.\n";
  }
  return kExitOk;
}

// Reads the arguments and finds the browsers' places, then acts on them.
int RunForPlaces(const std::string& command, const Arguments& args,
                 const char* usage,
                 int (*act)(const std::string&, bool, const Places&)) {
  ParsedArguments parsed;
  Places places;
  int status = kExitOk;
  if (!Prepare(command, args, usage, &parsed, &places, &status)) {
    return status;
  }
  return act(command, parsed.Has("--json"), places);
}

}  // namespace

int RunHostManifestCommand(Session&, const Arguments& args) {
  const std::string command = "host-manifest";
  ParsedArguments parsed;
  int status = kExitOk;
  if (!ReadCommandArguments(command, args,
                            CommandSyntax{{"--browser", "--host"}, {}},
                            kHostManifestUsage, &parsed, &status)) {
    return status;
  }
  Browser browser;
  if (!parsed.Has("--browser") ||
      !FindBrowser(parsed.Value("--browser"), &browser)) {
    ReportError(command, "--browser must be chromium, chrome or firefox");
    std::cerr << kHostManifestUsage;
    return kExitUsage;
  }
  if (parsed.Has("--host") && parsed.Value("--host").empty()) {
    ReportError(command, "--host names no program");
    return kExitUsage;
  }
  const std::string host = parsed.Has("--host") ? parsed.Value("--host")
                                                : Utf8(NativeHostProgram());
  std::cout << HostManifestJson(browser, host);
  return kExitOk;
}

int RunInstallBrowserCommand(Session&, const Arguments& args) {
  return RunForPlaces("install-browser", args, kInstallUsage, Install);
}

int RunUninstallBrowserCommand(Session&, const Arguments& args) {
  return RunForPlaces("uninstall-browser", args, kUninstallUsage, Uninstall);
}

}  // namespace qoinfo::tools
