// What a person must be told after the index was loaded: a load that failed
// (and what to do about it), or a recovery that dropped data. The texts name
// the files, where damage was found, and where the damaged copy lies.
#pragma once

#include <string>

#include "index/change_journal.h"
#include "index/index_files.h"

namespace qoinfo {

// Empty when both files loaded soundly or neither exists.
std::u16string DescribeIndexLoad(const std::u16string& data_directory,
                                 const IndexLoadResult& load);
// Empty when the journal was replayed to its end.
std::u16string DescribeJournalReplay(const std::u16string& data_directory,
                                     const JournalReplay& replay);

}  // namespace qoinfo
