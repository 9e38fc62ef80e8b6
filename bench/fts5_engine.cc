// SQLite FTS5 as a peer. Each page's document is its words (as the agent
// extracts them), each repeated as often as it occurs, separated by single
// spaces; a tokenizer of ours splits at spaces only, so FTS5 indexes exactly
// the agent's words with the same counts. Queries OR the query's words and
// order by FTS5's own rank (bm25).
#include <sqlite3.h>

#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "bench/engine.h"

namespace qoinfo::bench {
namespace {

void Check(int rc, sqlite3* db, const char* what) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
    throw std::runtime_error(std::string(what) + ": " + sqlite3_errmsg(db));
  }
}

// The "spaces" tokenizer: every run of characters other than ' ' is a token.
int SpacesCreate(void*, const char**, int, Fts5Tokenizer** out) {
  static int dummy;
  *out = reinterpret_cast<Fts5Tokenizer*>(&dummy);
  return SQLITE_OK;
}
void SpacesDelete(Fts5Tokenizer*) {}
int SpacesTokenize(Fts5Tokenizer*, void* context, int, const char* text,
                   int length,
                   int (*token)(void*, int, const char*, int, int, int)) {
  int start = -1;
  for (int i = 0; i <= length; ++i) {
    const bool space = i == length || text[i] == ' ';
    if (space && start >= 0) {
      const int rc = token(context, 0, text + start, i - start, start, i);
      if (rc != SQLITE_OK) return rc;
      start = -1;
    } else if (!space && start < 0) {
      start = i;
    }
  }
  return SQLITE_OK;
}

std::string Quoted(const std::string& word) {
  std::string out = "\"";
  for (const char c : word) {
    out += c;
    if (c == '"') out += '"';
  }
  return out + "\"";
}

class Fts5Engine final : public Engine {
 public:
  explicit Fts5Engine(const std::string& directory) {
    std::filesystem::create_directories(directory);
    path_ = directory + "/fts5.db";
    std::filesystem::remove(path_);
    Open();
    Exec("PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF;");
    Exec("CREATE VIRTUAL TABLE pages USING fts5(words, tokenize='spaces')");
    Exec("CREATE TABLE meta(id INTEGER PRIMARY KEY, time, url, path, title)");
    Exec("BEGIN");
    Prepare("INSERT INTO pages(rowid, words) VALUES(?, ?)", &insert_words_);
    Prepare("INSERT INTO meta(id, time, url, path, title) VALUES(?,?,?,?,?)",
            &insert_meta_);
  }
  ~Fts5Engine() override { Close(); }

  void Add(const Page& page) override {
    std::string document;
    for (const auto& [word, count] : ExtractPageWords(page.text)) {
      if (word.empty()) continue;
      for (std::int32_t i = 0; i < count; ++i) {
        if (!document.empty()) document += ' ';
        document += word;
      }
    }
    const sqlite3_int64 id = ++last_id_;
    sqlite3_bind_int64(insert_words_, 1, id);
    sqlite3_bind_text(insert_words_, 2, document.data(),
                      static_cast<int>(document.size()), SQLITE_TRANSIENT);
    Check(sqlite3_step(insert_words_), db_, "insert");
    sqlite3_reset(insert_words_);
    sqlite3_bind_int64(insert_meta_, 1, id);
    sqlite3_bind_int64(insert_meta_, 2, page.time);
    sqlite3_bind_text(insert_meta_, 3, page.url.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(insert_meta_, 4, page.path.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(insert_meta_, 5, page.title.c_str(), -1, SQLITE_TRANSIENT);
    Check(sqlite3_step(insert_meta_), db_, "insert meta");
    sqlite3_reset(insert_meta_);
  }

  void FinishIndexing() override {
    Exec("COMMIT");
    Exec("INSERT INTO pages(pages) VALUES('optimize')");
    PrepareQueries();
  }

  std::size_t Search(const std::string& query, std::size_t limit) override {
    std::string match;
    for (const auto& [word, count] : ExtractPageWords(query)) {
      if (word.empty()) continue;
      if (!match.empty()) match += " OR ";
      match += Quoted(word);
    }
    if (match.empty()) return 0;
    sqlite3_stmt* statement = limit > 0 ? first_page_ : all_hits_;
    sqlite3_bind_text(statement, 1, match.c_str(), -1, SQLITE_TRANSIENT);
    if (limit > 0) sqlite3_bind_int64(statement, 2, static_cast<sqlite3_int64>(limit));
    std::size_t taken = 0;
    while (sqlite3_step(statement) == SQLITE_ROW) {
      // Read the record, as a client of ours receives it.
      (void)sqlite3_column_int64(statement, 0);
      (void)sqlite3_column_text(statement, 1);
      (void)sqlite3_column_text(statement, 2);
      (void)sqlite3_column_text(statement, 3);
      ++taken;
    }
    sqlite3_reset(statement);
    return taken;
  }

  std::uint64_t Save() override {
    Close();
    return DiskUsage(path_);
  }
  void Load() override { Open(); }

 private:
  void Open() {
    Check(sqlite3_open(path_.c_str(), &db_), db_, "open");
    fts5_api* api = nullptr;
    sqlite3_stmt* statement = nullptr;
    Prepare("SELECT fts5(?1)", &statement);
    sqlite3_bind_pointer(statement, 1, &api, "fts5_api_ptr", nullptr);
    sqlite3_step(statement);
    sqlite3_finalize(statement);
    if (api == nullptr) throw std::runtime_error("FTS5 is not available");
    fts5_tokenizer tokenizer{SpacesCreate, SpacesDelete, SpacesTokenize};
    Check(api->xCreateTokenizer(api, "spaces", nullptr, &tokenizer, nullptr), db_,
          "tokenizer");
    if (ready_) PrepareQueries();
    ready_ = true;
  }
  void PrepareQueries() {
    Prepare("SELECT m.time, m.url, m.path, m.title FROM pages p JOIN meta m "
            "ON m.id = p.rowid WHERE pages MATCH ? ORDER BY rank LIMIT ?",
            &first_page_);
    Prepare("SELECT m.time, m.url, m.path, m.title FROM pages p JOIN meta m "
            "ON m.id = p.rowid WHERE pages MATCH ? ORDER BY rank",
            &all_hits_);
  }
  void Close() {
    for (sqlite3_stmt** s : {&insert_words_, &insert_meta_, &first_page_, &all_hits_}) {
      sqlite3_finalize(*s);
      *s = nullptr;
    }
    sqlite3_close(db_);
    db_ = nullptr;
  }
  void Exec(const char* sql) { Check(sqlite3_exec(db_, sql, nullptr, nullptr, nullptr), db_, sql); }
  void Prepare(const char* sql, sqlite3_stmt** out) {
    Check(sqlite3_prepare_v2(db_, sql, -1, out, nullptr), db_, sql);
  }

  std::string path_;
  sqlite3* db_ = nullptr;
  sqlite3_stmt* insert_words_ = nullptr;
  sqlite3_stmt* insert_meta_ = nullptr;
  sqlite3_stmt* first_page_ = nullptr;
  sqlite3_stmt* all_hits_ = nullptr;
  sqlite3_int64 last_id_ = 0;
  bool ready_ = false;
};

}  // namespace

std::unique_ptr<Engine> MakeFts5Engine(const std::string& directory) {
  return std::make_unique<Fts5Engine>(directory);
}

}  // namespace qoinfo::bench
