// The imported visits whose page still waits for its text (`import-history
// --fetch`), kept by visit index only (numbers the history never issues
// twice), never by URL, in the private data file `history-import-waiting`.
// The file is replaced as a whole; its grammar is in docs/import.md.
#pragma once

#include <set>
#include <string>

#include "platform/com_base.h"

namespace qoinfo::tools {

inline constexpr char16_t kWaitingPagesFileName[] = u"history-import-waiting";

// Reads the set kept in `data_directory`; an absent file is an empty set.
// False with `error` for a file that cannot be read or is not ours.
bool LoadWaitingPages(const std::u16string& data_directory,
                      std::set<ULONG>* indexes, std::string* error);

// Replaces the file by `indexes` (an empty set removes it).
bool SaveWaitingPages(const std::u16string& data_directory,
                      const std::set<ULONG>& indexes, std::string* error);

}  // namespace qoinfo::tools
