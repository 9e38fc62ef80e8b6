// Reading the visits of a browser's history database: Chromium's and
// Chrome's `History` (tables urls and visits) or Firefox's `places.sqlite`
// (moz_places and moz_historyvisits), told apart by their tables. The
// database is read from a private copy (history_copy.h), newest visit
// first; visits made inside a frame of another page are left out.
#pragma once

#include <cstdint>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

namespace qoinfo::tools {

enum class HistoryFormat { kChromium, kFirefox };

struct BrowserVisit {
  std::int64_t time = 0;  // our visit time (history_time.h)
  std::u16string url;
  std::u16string title;   // empty when the browser has none
};

struct VisitWindow {
  std::int64_t since = std::numeric_limits<std::int64_t>::min();
  std::size_t limit = std::numeric_limits<std::size_t>::max();
};

// Appends to `visits` the visits of `database` at or after window.since,
// at most window.limit of them, newest first. `format` receives what the
// database is. False with `error` (naming the file) when it cannot be
// copied or read, or is no browser history.
bool ReadBrowserHistory(const std::filesystem::path& database,
                        const VisitWindow& window, HistoryFormat* format,
                        std::vector<BrowserVisit>* visits, std::string* error);

}  // namespace qoinfo::tools
