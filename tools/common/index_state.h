// IndexState: the index as the next start-up would find it, read without
// starting an agent and without changing a file: the two index files, the
// change journal replayed onto them, leftovers of an interrupted save, and
// the copies of damaged files kept in the data directory. Also whether the
// history and the index agree (each visit with its page, each page with its
// visit). For qoinfo stats and qoinfo sync.
#pragma once

#include <string>
#include <vector>

#include "index/change_journal.h"
#include "index/index_files.h"
#include "urlbase/url_base.h"

namespace qoinfo::tools {

struct IndexState {
  CIDContainer records;
  CWordToIdsContainer words;
  IndexFileLoad records_load, words_load;
  JournalReplay journal;
  bool save_interrupted = false;            // a commit marker or ".saving" file
  std::vector<std::string> damaged_copies;  // file names in the directory
};

// Reads the index files and the journal of `directory` (the journal only
// when both files read, as a start-up does), then FindLeftovers.
void ReadIndexState(const std::u16string& directory, IndexState* state);
// Only what a damage or a crash left in `directory`: save_interrupted and
// damaged_copies.
void FindLeftovers(const std::u16string& directory, IndexState* state);

// The pages without a visit in the history, and the visits without a page.
struct HistoryAgreement {
  std::vector<CTimeURLContainer> pages_without_visit;
  std::vector<ULONG> visits_without_page;  // history indexes
};
HRESULT CompareWithHistory(IBromURLBase* history, const CIDContainer& records,
                           HistoryAgreement* agreement);

}  // namespace qoinfo::tools
