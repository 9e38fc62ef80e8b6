// CVisitStore: the visit list of the history, in one SQLite database file.
// Each visit is a row of the table `visits`; its index is the row's id, issued
// from 1 upward by the database and never issued again (AUTOINCREMENT), and
// kept within 32 bits. Text is stored as UTF-16 exactly as given (the
// database's encoding is UTF-16le), so any unit sequence round-trips.
//
// The file and its write-ahead log are private to their owner and never
// opened through a symbolic link. A removed visit leaves no trace in them:
// deleted rows are overwritten with zeros (secure_delete), and
// EraseRemovedVisits empties the log, which still holds the pages as they
// were before the removal.
//
// Beside each visit the store may keep the text the page was filed with,
// compressed (page_text_codec.h), in the table `page_texts` keyed by the
// visit's index; it goes with its visit in the same transaction. The
// setting `keep_texts` (table `settings`, on when absent) says whether
// texts are kept at all. Files written before texts were kept gain both
// tables when opened.
//
// Owned by one CBromURLBase; not thread-safe: one call at a time. Methods
// report database failures as HRESULTs; allocation failures of the strings
// they return are thrown as std::bad_alloc for the caller's boundary.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com_base.h"

struct sqlite3;

namespace qoinfo {

struct Visit {
  std::int64_t time = 0;
  std::u16string url;
  std::u16string path;
  std::u16string title;
};

class CVisitStore {
 public:
  // The highest index the store issues.
  static constexpr std::uint32_t kMaxIndex = 0xFFFFFFFFu;

  // Opens `file`, creating it and its table when missing. A file that is not
  // a history database gives URLBASE_E_CORRUPT; a file that cannot be opened
  // or created gives the matching HRESULT.
  static HRESULT Open(const std::u16string& file,
                      std::unique_ptr<CVisitStore>* store);

  ~CVisitStore();
  CVisitStore(const CVisitStore&) = delete;
  CVisitStore& operator=(const CVisitStore&) = delete;

  // Stores `visit` under a new index: S_OK. When a visit with the same time
  // and URL is stored: S_FALSE, its index, nothing changed.
  HRESULT Add(const Visit& visit, std::uint32_t* index);
  // The visit at `index`; URLBASE_E_NOVISIT when there is none.
  HRESULT Get(std::uint32_t index, Visit* visit);
  // Removes the visit at `index`; S_FALSE when there is none.
  HRESULT Remove(std::uint32_t index);
  // Copies the write-ahead log into the database and cuts it to nothing, so
  // that the visits removed so far are in no file any more.
  HRESULT EraseRemovedVisits();
  HRESULT Count(std::uint32_t* count);
  // The index of the visit with this time and URL; S_FALSE and 0 when none.
  HRESULT Find(std::int64_t time, std::u16string_view url,
               std::uint32_t* index);
  // The lowest index above `after`; S_FALSE and 0 when none.
  HRESULT Next(std::uint32_t after, std::uint32_t* index);
  // Every index, ascending.
  HRESULT AllIndexes(std::vector<std::uint32_t>* indexes);

  // Keeps `text` as the text of the visit with this time and URL, in place
  // of any kept before: S_OK; S_FALSE when there is no such visit or texts
  // are not kept (nothing is stored).
  HRESULT StoreText(std::int64_t time, std::u16string_view url,
                    std::u16string_view text);
  // The text kept for the visit with this time and URL: S_OK and *text;
  // S_FALSE when none is kept (*text untouched).
  HRESULT ReadText(std::int64_t time, std::u16string_view url,
                   std::u16string* text);
  // Whether texts are kept.
  HRESULT KeepsTexts(bool* keep);
  // Turns keeping texts on or off; off also erases every kept text from
  // the file and its log.
  HRESULT SetKeepTexts(bool keep);
  // How many texts are kept and their compressed bytes.
  HRESULT TextTotals(std::uint32_t* count, std::uint64_t* bytes);

 private:
  explicit CVisitStore(sqlite3* db) : m_db(db) {}

  // Inserts the row of a new visit; inside Add's transaction.
  HRESULT InsertRow(const Visit& visit, std::uint32_t* index);

  sqlite3* m_db;
};

}  // namespace qoinfo
