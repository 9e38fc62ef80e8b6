// The two index files in the data directory: "1.hcpa" holds the page
// records (CIDContainer), "2.hcpb" the word index (CWordToIdsContainer).
// Each is a compound file whose root storage holds one stream, "ids", with
// the container's stream layout.
//
// Saving never writes over the files in place: each is written to
// "<name>.saving" beside it, checked, flushed to disk, and only when both are
// complete do they replace the old files (page records first). A failed save
// leaves the previous files as they were. Loading a file that turns out to
// be damaged copies it aside to "<name>.damaged-<UTC time>" first, so that
// no later save destroys what it held.
#pragma once

#include <functional>
#include <string>

#include "index/id_container.h"
#include "index/stream_io.h"
#include "index/word_to_ids_container.h"

namespace qoinfo {

enum class IndexFile { kRecords, kWords };

// "<data directory><separator>1.hcpa" or "...2.hcpb".
std::u16string IndexFilePath(const std::u16string& data_directory,
                             IndexFile file);

// What the load found in one file.
struct IndexFileLoad {
  HRESULT hr = S_OK;         // S_OK, or why the file could not be read
  bool missing = false;      // the file does not exist
  bool damaged = false;      // it exists but is not a sound index file
  StreamProblem problem;     // for a damaged file: where and what
  std::u16string damaged_copy;  // where the damaged file was copied
};

struct IndexLoadResult {
  // S_OK when both files were read (a damaged file counts as read: its
  // container keeps what preceded the damage); E_FAIL otherwise.
  HRESULT hr = E_FAIL;
  IndexFileLoad records;
  IndexFileLoad words;
  bool NeitherFileExists() const { return records.missing && words.missing; }
};

// Reads one index file into a newly emptied container, changing nothing on
// disk. False when the file could not be opened or has no stream "ids" (the
// container is then untouched); a damaged stream reads what precedes the
// damage and is reported in `status`.
bool ReadIndexFile(const std::u16string& path, CIDContainer& records,
                   IndexFileLoad& status);
bool ReadIndexFile(const std::u16string& path, CWordToIdsContainer& words,
                   IndexFileLoad& status);

// Reads both files into the containers. Each container is emptied just
// before its file is read; a file that cannot be opened leaves its container
// (and, for the page records, the word index) untouched, and the word index
// is not tried when the page records could not be opened.
IndexLoadResult LoadIndexFiles(const std::u16string& data_directory,
                               CIDContainer& records,
                               CWordToIdsContainer& words);

// Points in a save where a test can stop it, as a crash would.
enum class SaveStage { kReplaceRecords, kReplaceWords };
using SaveInterruption = std::function<bool(SaveStage)>;

// Writes both files. S_OK when both were replaced; otherwise the failure,
// with the previous files left as they were (unless the failure came after
// the page records were replaced, when only the word index is old).
// `interrupt`, when set and returning true at a stage, ends the save there
// with E_ABORT and leaves its temporary files behind.
HRESULT SaveIndexFiles(const std::u16string& data_directory,
                       const CIDContainer& records,
                       const CWordToIdsContainer& words,
                       const SaveInterruption& interrupt = nullptr);

}  // namespace qoinfo
