// The browsers' folders on Linux: Chromium and Chrome under the XDG
// configuration folder, Firefox under ~/.mozilla.
#include "platform/environment.h"
#include "tools/import/history_places.h"

namespace qoinfo::tools {

std::filesystem::path BrowserDataFolder(const std::string& browser) {
  std::u16string home, config;
  const bool has_home = platform::GetEnvironment("HOME", &home) && !home.empty();
  if (browser == "firefox") {
    if (!has_home) return {};
    return std::filesystem::path(home) / ".mozilla" / "firefox";
  }
  std::filesystem::path base;
  if (platform::GetEnvironment("XDG_CONFIG_HOME", &config) && !config.empty()) {
    base = config;
  } else if (has_home) {
    base = std::filesystem::path(home) / ".config";
  } else {
    return {};
  }
  return base / (browser == "chrome" ? "google-chrome" : "chromium");
}

}  // namespace qoinfo::tools
