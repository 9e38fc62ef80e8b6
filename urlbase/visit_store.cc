#include "urlbase/visit_store.h"

#include <sqlite3.h>

#include <cstring>
#include <new>

#include "platform/plain_file.h"
#include "urlbase/page_text_codec.h"
#include "platform/utf8.h"
#include "urlbase/url_base.h"

namespace qoinfo {
namespace {

// How long a call waits for another process's lock on the file.
constexpr int kBusyTimeoutMs = 5000;

// Created on the first open. The encoding must be set before the first
// table exists; on an existing file the pragma changes nothing.
constexpr char kSchema[] =
    "PRAGMA encoding = 'UTF-16le';"
    "CREATE TABLE IF NOT EXISTS visits ("
    "  id INTEGER PRIMARY KEY AUTOINCREMENT,"
    "  time INTEGER NOT NULL,"
    "  url TEXT NOT NULL,"
    "  path TEXT NOT NULL,"
    "  title TEXT NOT NULL,"
    "  UNIQUE (time, url));"
    // The compressed text of a visit's page; `visit` is the visit's id.
    "CREATE TABLE IF NOT EXISTS page_texts ("
    "  visit INTEGER PRIMARY KEY,"
    "  text BLOB NOT NULL);"
    "CREATE TABLE IF NOT EXISTS settings ("
    "  name TEXT PRIMARY KEY,"
    "  value INTEGER NOT NULL);"
    // A visit's text goes with the visit, in the same statement, whoever
    // deletes the row (the trigger is the file's, so every build obeys it).
    "CREATE TRIGGER IF NOT EXISTS visit_text_goes AFTER DELETE ON visits "
    "BEGIN DELETE FROM page_texts WHERE visit = old.id; END;";

HRESULT FromSqlite(int result) {
  switch (result & 0xFF) {
    case SQLITE_OK:
    case SQLITE_DONE:
    case SQLITE_ROW:
      return S_OK;
    case SQLITE_NOMEM:
      return E_OUTOFMEMORY;
    case SQLITE_PERM:
    case SQLITE_READONLY:
    case SQLITE_AUTH:
      return E_ACCESSDENIED;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return URLBASE_E_LOCKED;
    case SQLITE_FULL:
      return static_cast<HRESULT>(0x80070070u);  // disk full
    case SQLITE_CANTOPEN:
      return static_cast<HRESULT>(0x8007006Eu);  // ERROR_OPEN_FAILED
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
    case SQLITE_SCHEMA:
      return URLBASE_E_CORRUPT;
    case SQLITE_IOERR:
      return static_cast<HRESULT>(0x8007001Du);  // write fault
    default:
      return E_FAIL;
  }
}

// One prepared statement, finalized when it goes.
class Statement {
 public:
  Statement(sqlite3* db, const char* sql)
      : m_result(sqlite3_prepare_v2(db, sql, -1, &m_statement, nullptr)) {}
  ~Statement() { sqlite3_finalize(m_statement); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  // S_OK when the statement was prepared and every bind succeeded.
  HRESULT status() const { return FromSqlite(m_result); }

  void BindInt64(int column, std::int64_t value) {
    if (m_result == SQLITE_OK) {
      m_result = sqlite3_bind_int64(m_statement, column, value);
    }
  }
  void BindBlob(int column, std::string_view bytes) {
    static const char kEmpty[1] = {0};
    if (m_result == SQLITE_OK) {
      m_result = sqlite3_bind_blob(
          m_statement, column, bytes.empty() ? kEmpty : bytes.data(),
          static_cast<int>(bytes.size()), SQLITE_STATIC);
    }
  }
  void BindText(int column, std::u16string_view text) {
    // A null pointer would bind NULL: the empty string needs an address.
    static const char16_t kEmpty[1] = {0};
    if (m_result == SQLITE_OK) {
      m_result = sqlite3_bind_text16(
          m_statement, column, text.empty() ? kEmpty : text.data(),
          static_cast<int>(text.size() * sizeof(char16_t)), SQLITE_STATIC);
    }
  }

  // SQLITE_ROW, SQLITE_DONE or the failure.
  int Step() {
    if (m_result != SQLITE_OK) return m_result;
    return sqlite3_step(m_statement);
  }

  std::int64_t Int64(int column) {
    return sqlite3_column_int64(m_statement, column);
  }
  // Throws std::bad_alloc when the string cannot allocate.
  std::string Blob(int column) {
    const void* bytes = sqlite3_column_blob(m_statement, column);
    const int size = sqlite3_column_bytes(m_statement, column);
    if (bytes == nullptr) return std::string();
    return std::string(static_cast<const char*>(bytes),
                       static_cast<std::size_t>(size));
  }
  // Throws std::bad_alloc when SQLite or the string cannot allocate.
  std::u16string Text(int column) {
    const void* units = sqlite3_column_text16(m_statement, column);
    const int bytes = sqlite3_column_bytes16(m_statement, column);
    if (units == nullptr) {
      if (sqlite3_errcode(sqlite3_db_handle(m_statement)) == SQLITE_NOMEM) {
        throw std::bad_alloc();
      }
      return std::u16string();
    }
    std::u16string text(static_cast<std::size_t>(bytes) / sizeof(char16_t),
                        u'\0');
    std::memcpy(text.data(), units, text.size() * sizeof(char16_t));
    return text;
  }

 private:
  sqlite3_stmt* m_statement = nullptr;
  int m_result;
};

HRESULT Execute(sqlite3* db, const char* sql) {
  return FromSqlite(sqlite3_exec(db, sql, nullptr, nullptr, nullptr));
}

// A write transaction that rolls back unless committed.
class WriteTransaction {
 public:
  explicit WriteTransaction(sqlite3* db)
      : m_db(db), m_status(Execute(db, "BEGIN IMMEDIATE")) {}
  ~WriteTransaction() {
    if (SUCCEEDED(m_status) && !m_done) Execute(m_db, "ROLLBACK");
  }
  HRESULT status() const { return m_status; }
  HRESULT Commit() {
    m_done = true;
    const HRESULT hr = Execute(m_db, "COMMIT");
    if (FAILED(hr)) Execute(m_db, "ROLLBACK");
    return hr;
  }

 private:
  sqlite3* m_db;
  HRESULT m_status;
  bool m_done = false;
};

}  // namespace

HRESULT CVisitStore::Open(const std::u16string& file,
                          std::unique_ptr<CVisitStore>* store) {
  store->reset();
  // SQLite opens its files by name and follows a link: ours are checked
  // first. The database is created private; SQLite gives the log and the
  // shared-memory file the database's permissions.
  for (const char16_t* suffix : {u"-wal", u"-shm", u"-journal"}) {
    const HRESULT hr = platform::PrepareDataFile(file + suffix, false);
    if (FAILED(hr)) return hr;
  }
  if (const HRESULT hr = platform::PrepareDataFile(file, true); FAILED(hr)) {
    return hr;
  }
  sqlite3* db = nullptr;
  const int opened =
      sqlite3_open_v2(platform::Utf16ToUtf8(file).c_str(), &db,
                      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  if (db == nullptr) return E_OUTOFMEMORY;
  std::unique_ptr<CVisitStore> created(new (std::nothrow) CVisitStore(db));
  if (!created) {
    sqlite3_close(db);
    return E_OUTOFMEMORY;
  }
  if (opened != SQLITE_OK) return FromSqlite(opened);
  sqlite3_extended_result_codes(db, 1);
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
  // Reading the file's header happens here: a file that is not a database
  // fails now, not at the first visit.
  HRESULT hr = Execute(db, kSchema);
  if (FAILED(hr)) return hr;
  // A write-ahead log, synced at checkpoints: a visit is kept once its call
  // returns, even if the process dies, and the file stays consistent if the
  // machine does; adding a visit no longer waits for the disk each time.
  // Deleted rows are overwritten with zeros, so that a removed visit's URL
  // and title do not linger in free space.
  hr = Execute(db,
               "PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL;"
               "PRAGMA secure_delete = ON;");
  if (FAILED(hr)) return hr;
  // An existing table must have our columns.
  Statement probe(db, "SELECT id, time, url, path, title FROM visits LIMIT 0");
  if (FAILED(probe.status())) return URLBASE_E_CORRUPT;
  Statement texts(db, "SELECT visit, text FROM page_texts LIMIT 0");
  Statement settings(db, "SELECT name, value FROM settings LIMIT 0");
  if (FAILED(texts.status()) || FAILED(settings.status())) {
    return URLBASE_E_CORRUPT;
  }
  *store = std::move(created);
  return S_OK;
}

CVisitStore::~CVisitStore() { sqlite3_close(m_db); }

HRESULT CVisitStore::Find(std::int64_t time, std::u16string_view url,
                          std::uint32_t* index) {
  *index = 0;
  Statement find(m_db, "SELECT id FROM visits WHERE time = ? AND url = ?");
  find.BindInt64(1, time);
  find.BindText(2, url);
  const int step = find.Step();
  if (step == SQLITE_DONE) return S_FALSE;
  if (step != SQLITE_ROW) return FromSqlite(step);
  *index = static_cast<std::uint32_t>(find.Int64(0));
  return S_OK;
}

HRESULT CVisitStore::InsertRow(const Visit& visit, std::uint32_t* index) {
  Statement insert(
      m_db, "INSERT INTO visits (time, url, path, title) VALUES (?, ?, ?, ?)");
  insert.BindInt64(1, visit.time);
  insert.BindText(2, visit.url);
  insert.BindText(3, visit.path);
  insert.BindText(4, visit.title);
  const int step = insert.Step();
  if (step != SQLITE_DONE) return FromSqlite(step);
  const sqlite3_int64 id = sqlite3_last_insert_rowid(m_db);
  // Past the last 32-bit index: the caller's transaction rolls it back.
  if (id < 1 || id > static_cast<sqlite3_int64>(kMaxIndex)) {
    return URLBASE_E_INDEXESEXHAUSTED;
  }
  *index = static_cast<std::uint32_t>(id);
  return S_OK;
}

HRESULT CVisitStore::Add(const Visit& visit, std::uint32_t* index) {
  *index = 0;
  WriteTransaction transaction(m_db);
  if (FAILED(transaction.status())) return transaction.status();
  HRESULT hr = Find(visit.time, visit.url, index);
  if (hr == S_OK) {
    hr = transaction.Commit();
    return FAILED(hr) ? hr : S_FALSE;
  }
  if (FAILED(hr)) return hr;
  hr = InsertRow(visit, index);
  if (SUCCEEDED(hr)) hr = transaction.Commit();
  if (FAILED(hr)) *index = 0;
  return hr;
}

HRESULT CVisitStore::Get(std::uint32_t index, Visit* visit) {
  Statement get(m_db, "SELECT time, url, path, title FROM visits WHERE id = ?");
  get.BindInt64(1, index);
  const int step = get.Step();
  if (step == SQLITE_DONE) return URLBASE_E_NOVISIT;
  if (step != SQLITE_ROW) return FromSqlite(step);
  Visit found;
  found.time = get.Int64(0);
  found.url = get.Text(1);
  found.path = get.Text(2);
  found.title = get.Text(3);
  *visit = std::move(found);
  return S_OK;
}

HRESULT CVisitStore::Remove(std::uint32_t index) {
  // The trigger visit_text_goes takes the visit's text with it; the count
  // of changes is the visit's alone.
  Statement remove(m_db, "DELETE FROM visits WHERE id = ?");
  remove.BindInt64(1, index);
  const int step = remove.Step();
  if (step != SQLITE_DONE) return FromSqlite(step);
  return sqlite3_changes(m_db) > 0 ? S_OK : S_FALSE;
}

HRESULT CVisitStore::EraseRemovedVisits() {
  return FromSqlite(sqlite3_wal_checkpoint_v2(
      m_db, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr));
}

HRESULT CVisitStore::Count(std::uint32_t* count) {
  *count = 0;
  Statement select(m_db, "SELECT count(*) FROM visits");
  const int step = select.Step();
  if (step != SQLITE_ROW) return FromSqlite(step);
  *count = static_cast<std::uint32_t>(select.Int64(0));
  return S_OK;
}

HRESULT CVisitStore::Next(std::uint32_t after, std::uint32_t* index) {
  *index = 0;
  Statement next(m_db,
                 "SELECT id FROM visits WHERE id > ? ORDER BY id LIMIT 1");
  next.BindInt64(1, after);
  const int step = next.Step();
  if (step == SQLITE_DONE) return S_FALSE;
  if (step != SQLITE_ROW) return FromSqlite(step);
  *index = static_cast<std::uint32_t>(next.Int64(0));
  return S_OK;
}

HRESULT CVisitStore::AllIndexes(std::vector<std::uint32_t>* indexes) {
  indexes->clear();
  Statement all(m_db, "SELECT id FROM visits ORDER BY id");
  for (;;) {
    const int step = all.Step();
    if (step == SQLITE_DONE) return S_OK;
    if (step != SQLITE_ROW) return FromSqlite(step);
    indexes->push_back(static_cast<std::uint32_t>(all.Int64(0)));
  }
}

HRESULT CVisitStore::StoreText(std::int64_t time, std::u16string_view url,
                               std::u16string_view text) {
  // With the setting off nothing is compressed. The text is compressed
  // before the transaction, so that the file stays unlocked meanwhile.
  bool keep = true;
  HRESULT hr = KeepsTexts(&keep);
  if (FAILED(hr)) return hr;
  if (!keep) return S_FALSE;
  std::string packed;
  hr = CompressPageText(text, &packed);
  if (FAILED(hr)) return hr;
  WriteTransaction transaction(m_db);
  if (FAILED(transaction.status())) return transaction.status();
  // Asked again: another process may have turned it off meanwhile.
  hr = KeepsTexts(&keep);
  if (FAILED(hr)) return hr;
  std::uint32_t index = 0;
  if (keep) hr = Find(time, url, &index);
  if (FAILED(hr)) return hr;
  if (!keep || hr != S_OK) {
    hr = transaction.Commit();
    return FAILED(hr) ? hr : S_FALSE;
  }
  Statement store(m_db,
                  "INSERT OR REPLACE INTO page_texts (visit, text) "
                  "VALUES (?, ?)");
  store.BindInt64(1, index);
  store.BindBlob(2, packed);
  const int step = store.Step();
  if (step != SQLITE_DONE) return FromSqlite(step);
  return transaction.Commit();
}

HRESULT CVisitStore::ReadText(std::int64_t time, std::u16string_view url,
                              std::u16string* text) {
  Statement read(m_db,
                 "SELECT page_texts.text FROM visits JOIN page_texts "
                 "ON page_texts.visit = visits.id "
                 "WHERE visits.time = ? AND visits.url = ?");
  read.BindInt64(1, time);
  read.BindText(2, url);
  const int step = read.Step();
  if (step == SQLITE_DONE) return S_FALSE;
  if (step != SQLITE_ROW) return FromSqlite(step);
  return DecompressPageText(read.Blob(0), text);
}

HRESULT CVisitStore::KeepsTexts(bool* keep) {
  *keep = true;
  Statement read(m_db, "SELECT value FROM settings WHERE name = 'keep_texts'");
  const int step = read.Step();
  if (step == SQLITE_DONE) return S_OK;
  if (step != SQLITE_ROW) return FromSqlite(step);
  *keep = read.Int64(0) != 0;
  return S_OK;
}

HRESULT CVisitStore::SetKeepTexts(bool keep) {
  {
    WriteTransaction transaction(m_db);
    if (FAILED(transaction.status())) return transaction.status();
    Statement set(m_db,
                  "INSERT OR REPLACE INTO settings (name, value) "
                  "VALUES ('keep_texts', ?)");
    set.BindInt64(1, keep ? 1 : 0);
    int step = set.Step();
    if (step != SQLITE_DONE) return FromSqlite(step);
    if (!keep) {
      // secure_delete overwrites the rows in the file; the checkpoint below
      // takes them out of the log.
      Statement erase(m_db, "DELETE FROM page_texts");
      step = erase.Step();
      if (step != SQLITE_DONE) return FromSqlite(step);
    }
    const HRESULT hr = transaction.Commit();
    if (FAILED(hr)) return hr;
  }
  return keep ? S_OK : EraseRemovedVisits();
}

HRESULT CVisitStore::TextTotals(std::uint32_t* count, std::uint64_t* bytes) {
  *count = 0;
  *bytes = 0;
  Statement totals(m_db,
                   "SELECT count(*), coalesce(sum(length(text)), 0) "
                   "FROM page_texts");
  const int step = totals.Step();
  if (step != SQLITE_ROW) return FromSqlite(step);
  *count = static_cast<std::uint32_t>(totals.Int64(0));
  *bytes = static_cast<std::uint64_t>(totals.Int64(1));
  return S_OK;
}

}  // namespace qoinfo
