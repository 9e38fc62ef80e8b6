// Where the browsers keep their histories. Chromium and Chrome: a user-data
// folder whose profile folders (Default, Profile 1, ...) each hold a
// `History` file; Firefox: the profiles listed in profiles.ini, each with a
// `places.sqlite`. The user-data folders differ per platform
// (history_places_posix.cc, history_places_win.cc); the rest is shared.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace qoinfo::tools {

// "chromium", "chrome", "firefox": the browsers looked for, in that order.
const std::vector<std::string>& KnownBrowsers();

// The browser's user-data folder (Firefox: the folder of profiles.ini) on
// this platform; empty when its environment names none.
std::filesystem::path BrowserDataFolder(const std::string& browser);

struct HistoryDatabase {
  std::string browser;  // as in KnownBrowsers(); empty when named directly
  std::filesystem::path file;
};

// The history databases of `browser` (empty: of every known browser) that
// exist, in a stable order. `looked_in` receives the folders searched.
std::vector<HistoryDatabase> FindHistoryDatabases(
    const std::string& browser, std::vector<std::string>* looked_in);

// The databases a --profile names: a file; a folder's History and
// places.sqlite; else the History files of the folder's subfolders. False
// with `error` when there is none.
bool NamedHistoryDatabases(const std::filesystem::path& named,
                           std::vector<HistoryDatabase>* databases,
                           std::string* error);

}  // namespace qoinfo::tools
