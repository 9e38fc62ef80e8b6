#include "tools/import/history_copy.h"

#include <sqlite3.h>

#include <random>
#include <system_error>

namespace qoinfo::tools {
namespace fs = std::filesystem;
namespace {

constexpr int kBusyWaitMilliseconds = 2000;
constexpr int kFileCopyAttempts = 3;

std::string Utf8(const fs::path& path) {
  const std::u8string u8 = path.u8string();
  return std::string(u8.begin(), u8.end());
}

// Closes a connection however it was left.
struct Connection {
  sqlite3* db = nullptr;
  ~Connection() { sqlite3_close_v2(db); }
  int Open(const fs::path& file, int flags) {
    return sqlite3_open_v2(Utf8(file).c_str(), &db, flags, nullptr);
  }
  std::string Error() const {
    return db == nullptr ? "out of memory" : sqlite3_errmsg(db);
  }
};

// S_OK-like: empty when the database at `file` passes PRAGMA quick_check.
std::string QuickCheck(const fs::path& file) {
  Connection copy;
  if (copy.Open(file, SQLITE_OPEN_READWRITE) != SQLITE_OK) return copy.Error();
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(copy.db, "PRAGMA quick_check", -1, &statement,
                         nullptr) != SQLITE_OK) {
    return copy.Error();
  }
  std::string answer;
  const int rc = sqlite3_step(statement);
  if (rc == SQLITE_ROW) {
    const unsigned char* text = sqlite3_column_text(statement, 0);
    answer = text == nullptr ? "" : reinterpret_cast<const char*>(text);
    if (answer == "ok") answer.clear();
  } else {
    answer = copy.Error();
  }
  sqlite3_finalize(statement);
  return answer;
}

// The online backup of `source` (opened read-only) into `target`.
bool BackupCopy(const fs::path& source, const fs::path& target,
                std::string* error) {
  Connection from;
  if (from.Open(source, SQLITE_OPEN_READONLY) != SQLITE_OK) {
    *error = from.Error();
    return false;
  }
  sqlite3_busy_timeout(from.db, kBusyWaitMilliseconds);
  Connection to;
  if (to.Open(target, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) !=
      SQLITE_OK) {
    *error = to.Error();
    return false;
  }
  sqlite3_backup* backup = sqlite3_backup_init(to.db, "main", from.db, "main");
  if (backup == nullptr) {
    *error = to.Error();
    return false;
  }
  const int rc = sqlite3_backup_step(backup, -1);
  sqlite3_backup_finish(backup);
  if (rc != SQLITE_DONE) {
    *error = sqlite3_errstr(rc);
    return false;
  }
  return true;
}

// The database and the companions SQLite would read with it, as files.
bool FileCopy(const fs::path& source, const fs::path& target,
              std::string* error) {
  std::error_code ec;
  for (const char* suffix : {"", "-wal", "-journal", "-shm"}) {
    fs::path to = target;
    to += suffix;
    fs::remove(to, ec);
  }
  for (const char* suffix : {"", "-wal", "-journal"}) {
    fs::path from = source;
    from += suffix;
    fs::path to = target;
    to += suffix;
    if (*suffix != '\0' && !fs::exists(from, ec)) continue;
    if (!fs::copy_file(from, to, ec)) {
      *error = ec.message();
      return false;
    }
  }
  return true;
}

}  // namespace

HistoryCopy::~HistoryCopy() {
  if (m_folder.empty()) return;
  std::error_code ec;
  fs::remove_all(m_folder, ec);
}

bool HistoryCopy::MakeFolder(std::string* error) {
  std::error_code ec;
  const fs::path temporary = fs::temp_directory_path(ec);
  if (ec) {
    *error = "no temporary folder: " + ec.message();
    return false;
  }
  std::random_device random;
  for (int attempt = 0; attempt < 16; ++attempt) {
    const fs::path folder =
        temporary / ("qoinfo-import-" + std::to_string(random()));
    if (!fs::create_directory(folder, ec)) continue;
    m_folder = folder;
    // Only its owner may enter it: it holds a copy of a whole history.
    fs::permissions(folder, fs::perms::owner_all, fs::perm_options::replace,
                    ec);
    if (ec) {
      *error = "the temporary folder cannot be made private: " + ec.message();
      return false;
    }
    m_file = folder / "history.sqlite";
    return true;
  }
  *error = "no temporary folder could be made in " + Utf8(temporary) +
           (ec ? ": " + ec.message() : std::string());
  return false;
}

bool HistoryCopy::Make(const fs::path& source, std::string* error) {
  if (m_folder.empty() && !MakeFolder(error)) return false;
  std::error_code ec;
  if (!fs::is_regular_file(source, ec)) {
    *error = Utf8(source) + ": " +
             (ec ? ec.message() : std::string("not a regular file"));
    return false;
  }
  std::string why;
  if (BackupCopy(source, m_file, &why)) {
    why = QuickCheck(m_file);
    if (why.empty()) return true;
  }
  // Locked by the running browser (or not readable in place): copy the
  // files; a copy taken while the browser wrote fails the check and is
  // taken again.
  for (int attempt = 0; attempt < kFileCopyAttempts; ++attempt) {
    if (!FileCopy(source, m_file, &why)) break;
    why = QuickCheck(m_file);
    if (why.empty()) return true;
  }
  *error = Utf8(source) + ": the database cannot be read (" + why + ")";
  return false;
}

}  // namespace qoinfo::tools
