// A private copy of a browser's history database, to read from while the
// browser goes on running. The browser's file is only ever opened read-only
// or copied as bytes: first through SQLite's online backup API (a shared
// lock held for one step, at most 2 s waited for), and when the browser
// keeps the file locked, as files (the database and its -wal and -journal
// companions), which SQLite then brings to the last committed state when
// the copy is opened. Either copy must pass a quick check. The copy lives in
// a private temporary folder that the destructor removes.
#pragma once

#include <filesystem>
#include <string>

namespace qoinfo::tools {

class HistoryCopy {
 public:
  HistoryCopy() = default;
  ~HistoryCopy();
  HistoryCopy(const HistoryCopy&) = delete;
  HistoryCopy& operator=(const HistoryCopy&) = delete;

  // Copies `source`. False with `error` when no sound copy could be made
  // (a damaged file, not a database, unreadable).
  bool Make(const std::filesystem::path& source, std::string* error);

  // The copy, valid after Make succeeded.
  const std::filesystem::path& file() const { return m_file; }

 private:
  bool MakeFolder(std::string* error);

  std::filesystem::path m_folder;
  std::filesystem::path m_file;
};

}  // namespace qoinfo::tools
