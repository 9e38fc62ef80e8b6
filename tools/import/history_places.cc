#include "tools/import/history_places.h"

#include <algorithm>
#include <fstream>
#include <system_error>

namespace qoinfo::tools {
namespace fs = std::filesystem;
namespace {

std::string Utf8(const fs::path& path) {
  const std::u8string u8 = path.u8string();
  return std::string(u8.begin(), u8.end());
}

fs::path FromUtf8(const std::string& utf8) {
  return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

bool IsFile(const fs::path& path) {
  std::error_code ec;
  return fs::is_regular_file(path, ec);
}

// The `History` files of the folder's direct subfolders, sorted by name.
std::vector<fs::path> ProfileHistories(const fs::path& folder) {
  std::vector<fs::path> found;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end;
       it.increment(ec)) {
    std::error_code type_ec;
    if (!it->is_directory(type_ec)) continue;
    const fs::path history = it->path() / "History";
    if (IsFile(history)) found.push_back(history);
  }
  std::sort(found.begin(), found.end());
  return found;
}

std::string Trimmed(std::string text) {
  const char* space = " \t\r\n";
  text.erase(0, text.find_first_not_of(space));
  text.erase(text.find_last_not_of(space) + 1);
  return text;
}

// The places.sqlite of every [Profile...] section of profiles.ini.
std::vector<fs::path> FirefoxPlaces(const fs::path& folder) {
  std::vector<fs::path> found;
  std::ifstream ini(folder / "profiles.ini");
  std::string line, path;
  bool in_profile = false, relative = true;
  auto finish = [&] {
    if (in_profile && !path.empty()) {
      const fs::path profile =
          relative ? folder / FromUtf8(path) : FromUtf8(path);
      const fs::path places = profile / "places.sqlite";
      if (IsFile(places) &&
          std::find(found.begin(), found.end(), places) == found.end()) {
        found.push_back(places);
      }
    }
    path.clear();
    relative = true;
  };
  while (std::getline(ini, line)) {
    line = Trimmed(line);
    if (!line.empty() && line[0] == '[') {
      finish();
      in_profile = line.rfind("[Profile", 0) == 0;
    } else if (line.rfind("Path=", 0) == 0) {
      path = line.substr(5);
    } else if (line.rfind("IsRelative=", 0) == 0) {
      relative = line.substr(11) != "0";
    }
  }
  finish();
  return found;
}

}  // namespace

const std::vector<std::string>& KnownBrowsers() {
  static const std::vector<std::string> browsers = {"chromium", "chrome",
                                                    "firefox"};
  return browsers;
}

std::vector<HistoryDatabase> FindHistoryDatabases(
    const std::string& browser, std::vector<std::string>* looked_in) {
  std::vector<HistoryDatabase> databases;
  for (const std::string& known : KnownBrowsers()) {
    if (!browser.empty() && browser != known) continue;
    const fs::path folder = BrowserDataFolder(known);
    if (folder.empty()) continue;
    looked_in->push_back(Utf8(folder));
    const std::vector<fs::path> files = known == "firefox"
                                            ? FirefoxPlaces(folder)
                                            : ProfileHistories(folder);
    for (const fs::path& file : files) databases.push_back({known, file});
  }
  return databases;
}

bool NamedHistoryDatabases(const fs::path& named,
                           std::vector<HistoryDatabase>* databases,
                           std::string* error) {
  std::error_code ec;
  if (IsFile(named)) {
    databases->push_back({"", named});
    return true;
  }
  if (!fs::is_directory(named, ec)) {
    *error = Utf8(named) + ": " +
             (ec ? ec.message() : std::string("neither a file nor a folder"));
    return false;
  }
  for (const char* name : {"History", "places.sqlite"}) {
    if (IsFile(named / name)) databases->push_back({"", named / name});
  }
  if (databases->empty()) {
    for (const fs::path& file : ProfileHistories(named)) {
      databases->push_back({"", file});
    }
  }
  if (databases->empty()) {
    *error = Utf8(named) +
             ": no browser history there (no History or places.sqlite)";
    return false;
  }
  return true;
}

}  // namespace qoinfo::tools
