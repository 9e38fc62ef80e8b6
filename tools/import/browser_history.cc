#include "tools/import/browser_history.h"

#include <sqlite3.h>

#include <string_view>

#include "platform/utf8.h"
#include "tools/import/history_copy.h"
#include "tools/import/history_time.h"

namespace qoinfo::tools {
namespace fs = std::filesystem;
namespace {

// Chromium's core transitions 3 and 4 are frames (automatic and manual);
// Firefox's visit types 4 (embedded) and 8 (a link inside a frame).
constexpr char kChromiumVisits[] =
    "SELECT v.visit_time, u.url, u.title FROM visits v JOIN urls u "
    "ON u.id = v.url WHERE (v.transition & 255) NOT IN (3, 4) "
    "ORDER BY v.visit_time DESC";
constexpr char kFirefoxVisits[] =
    "SELECT v.visit_date, p.url, p.title FROM moz_historyvisits v "
    "JOIN moz_places p ON p.id = v.place_id WHERE v.visit_type NOT IN (4, 8) "
    "ORDER BY v.visit_date DESC";

std::string Utf8(const fs::path& path) {
  const std::u8string u8 = path.u8string();
  return std::string(u8.begin(), u8.end());
}

// The browser's text: UTF-8, a byte that is not UTF-8 as U+FFFD.
std::u16string ColumnText(sqlite3_stmt* statement, int column) {
  const unsigned char* text = sqlite3_column_text(statement, column);
  if (text == nullptr) return std::u16string();
  return platform::LenientUtf8ToCarriedText(std::string_view(
      reinterpret_cast<const char*>(text),
      static_cast<std::size_t>(sqlite3_column_bytes(statement, column))));
}

bool HasTable(sqlite3* db, const char* name) {
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db,
                         "SELECT 1 FROM sqlite_master WHERE type = 'table' "
                         "AND name = ?",
                         -1, &statement, nullptr) != SQLITE_OK) {
    return false;
  }
  sqlite3_bind_text(statement, 1, name, -1, SQLITE_STATIC);
  const bool found = sqlite3_step(statement) == SQLITE_ROW;
  sqlite3_finalize(statement);
  return found;
}

}  // namespace

bool ReadBrowserHistory(const fs::path& database, const VisitWindow& window,
                        HistoryFormat* format,
                        std::vector<BrowserVisit>* visits,
                        std::string* error) {
  HistoryCopy copy;
  if (!copy.Make(database, error)) return false;
  sqlite3* db = nullptr;
  const int opened = sqlite3_open_v2(Utf8(copy.file()).c_str(), &db,
                                     SQLITE_OPEN_READONLY, nullptr);
  struct Closer {
    sqlite3* db;
    ~Closer() { sqlite3_close_v2(db); }
  } closer{db};
  if (opened != SQLITE_OK) {
    *error = Utf8(database) + ": " + sqlite3_errmsg(db);
    return false;
  }
  const char* query = nullptr;
  if (HasTable(db, "urls") && HasTable(db, "visits")) {
    *format = HistoryFormat::kChromium;
    query = kChromiumVisits;
  } else if (HasTable(db, "moz_places") && HasTable(db, "moz_historyvisits")) {
    *format = HistoryFormat::kFirefox;
    query = kFirefoxVisits;
  } else {
    *error = Utf8(database) +
             ": not a browser history (neither Chromium's nor Firefox's "
             "visit tables)";
    return false;
  }
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db, query, -1, &statement, nullptr) != SQLITE_OK) {
    *error = Utf8(database) + ": " + sqlite3_errmsg(db);
    return false;
  }
  std::size_t read = 0;
  int rc = SQLITE_ROW;
  while (read < window.limit && (rc = sqlite3_step(statement)) == SQLITE_ROW) {
    const std::int64_t raw = sqlite3_column_int64(statement, 0);
    BrowserVisit visit;
    visit.time = *format == HistoryFormat::kChromium
                     ? ChromiumTimeToVisitTime(raw)
                     : FirefoxTimeToVisitTime(raw);
    if (visit.time < window.since) {
      rc = SQLITE_DONE;
      break;
    }
    visit.url = ColumnText(statement, 1);
    visit.title = ColumnText(statement, 2);
    visits->push_back(std::move(visit));
    ++read;
  }
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
    *error = Utf8(database) + ": " + sqlite3_errmsg(db);
  }
  sqlite3_finalize(statement);
  return rc == SQLITE_ROW || rc == SQLITE_DONE;
}

}  // namespace qoinfo::tools
