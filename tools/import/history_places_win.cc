// The browsers' folders on Windows: Chromium and Chrome under
// %LOCALAPPDATA%, Firefox's profiles.ini under %APPDATA%.
#include "platform/environment.h"
#include "tools/import/history_places.h"

namespace qoinfo::tools {

std::filesystem::path BrowserDataFolder(const std::string& browser) {
  std::u16string base;
  if (browser == "firefox") {
    if (!platform::GetEnvironment("APPDATA", &base) || base.empty()) return {};
    return std::filesystem::path(base) / "Mozilla" / "Firefox";
  }
  if (!platform::GetEnvironment("LOCALAPPDATA", &base) || base.empty()) {
    return {};
  }
  const std::filesystem::path local(base);
  if (browser == "chrome") return local / "Google" / "Chrome" / "User Data";
  return local / "Chromium" / "User Data";
}

}  // namespace qoinfo::tools
