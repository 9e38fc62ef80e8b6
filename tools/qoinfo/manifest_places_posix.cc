#include <filesystem>
#include <system_error>

#include "platform/environment.h"
#include "tools/qoinfo/manifest_places.h"

namespace qoinfo::tools {
namespace {

namespace fs = std::filesystem;

// An absolute folder named by the variable, else empty.
std::u16string AbsoluteFolder(const char* variable) {
  std::u16string folder;
  if (!platform::GetEnvironment(variable, &folder) || folder.empty() ||
      folder[0] != u'/') {
    return std::u16string();
  }
  return folder;
}

}  // namespace

bool FindManifestPlace(Browser browser, ManifestPlace* place,
                       std::string* why) {
  const std::u16string home = AbsoluteFolder("HOME");
  std::u16string config = AbsoluteFolder("XDG_CONFIG_HOME");
  if (config.empty() && !home.empty()) config = home + u"/.config";
  std::u16string folder;
  switch (browser) {
    case Browser::kChromium:
      folder =
          config.empty() ? u"" : config + u"/chromium/NativeMessagingHosts";
      break;
    case Browser::kChrome:
      folder = config.empty() ? u""
                              : config + u"/google-chrome/NativeMessagingHosts";
      break;
    case Browser::kFirefox:
      // Firefox looks in ~/.mozilla whatever XDG_CONFIG_HOME says.
      folder = home.empty() ? u"" : home + u"/.mozilla/native-messaging-hosts";
      break;
  }
  if (folder.empty()) {
    *why = "neither HOME nor XDG_CONFIG_HOME names an absolute folder";
    return false;
  }
  place->file = folder + u"/" +
                fs::path(std::string(kNativeHostName) + ".json").u16string();
  place->registry_key.clear();
  return true;
}

std::u16string ProgramFolder() {
  std::error_code error;
  return fs::read_symlink("/proc/self/exe", error).parent_path().u16string();
}

HRESULT RegisterManifestPlace(const ManifestPlace&) { return S_OK; }
HRESULT UnregisterManifestPlace(const ManifestPlace&) { return S_OK; }

const char kProgramSuffix[] = "";

}  // namespace qoinfo::tools
