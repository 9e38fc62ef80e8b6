// The index files in the data directory: "1.hcpa" holds the page records
// (CIDContainer), "2.hcpb" the word index (CWordToIdsContainer). Each is a
// compound file whose root storage holds one stream, "ids", with the
// container's stream layout. Beside them lie the change journal
// ("index.journal", index/change_journal.h) and, only while a save replaces
// the pair, the commit marker ("index.commit").
//
// Saving never writes over the files in place. Both are written to
// "<name>.saving", flushed to disk, and only then is the commit marker
// made durable; from that moment the save counts as done: the two renames
// follow, then the journal (whose changes the new files hold) is emptied,
// then the marker goes. A start-up that finds the marker finishes the save
// (renames what is left, empties the journal); one that finds ".saving"
// files without a marker removes them. So after a crash at any moment the
// load sees both old files with their journal or both new ones.
//
// Loading a file that turns out to be damaged copies it aside to
// "<name>.damaged-<UTC time>" first, so that no later save destroys what it
// held.
#pragma once

#include <functional>
#include <string>

#include "index/id_container.h"
#include "index/index_image.h"
#include "index/stream_io.h"
#include "index/word_to_ids_container.h"

namespace qoinfo {

enum class IndexFile { kRecords, kWords, kJournal, kCommitMarker, kLock, kImage };

// "<data directory><separator>1.hcpa", "...2.hcpb", "...index.journal",
// "...index.commit", "...agent.lock" (held by whoever runs the agent) or
// "...index.image" (index/index_image.h).
std::u16string IndexFilePath(const std::u16string& data_directory,
                             IndexFile file);

// Copies a damaged file aside to "<path>.damaged-<UTC time>" (a name not yet
// taken). The copy's path, or empty when it could not be made.
std::u16string CopyDamagedFileAside(const std::u16string& path);

// What the start-up found of an interrupted save.
enum class SaveRecovery {
  kNone,                // no trace of one
  kTemporariesRemoved,  // an unfinished save's files were removed
  kCompleted,           // a committed save was finished
};

// Finishes or undoes a save that a crash interrupted (see above). Run
// before the files and the journal are read. On failure nothing may be read:
// the pair would not match.
HRESULT RecoverInterruptedSave(const std::u16string& data_directory,
                               SaveRecovery* what);

// What the load found in one file.
struct IndexFileLoad {
  HRESULT hr = S_OK;            // S_OK, or why the file could not be read
  bool missing = false;         // the file does not exist
  bool damaged = false;         // it exists but is not a sound index file
  StreamProblem problem;        // for a damaged file: where and what
  std::u16string damaged_copy;  // where the damaged file was copied
  std::uint64_t entries = 0;    // records or words read
};

struct IndexLoadResult {
  // S_OK when both files were read (a damaged file counts as read: its
  // container keeps what preceded the damage); E_FAIL otherwise.
  HRESULT hr = E_FAIL;
  IndexFileLoad records;
  IndexFileLoad words;
  bool NeitherFileExists() const { return records.missing && words.missing; }
  // Both read, but what followed damage in one of them was dropped.
  bool RecoveredWithLoss() const {
    return hr == S_OK && (records.damaged || words.damaged);
  }
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
// (and, for the page records, the word index) untouched. When the page
// records cannot be opened, the word index is still checked (into a scratch
// container) so that the result tells what each file holds.
IndexLoadResult LoadIndexFiles(const std::u16string& data_directory,
                               CIDContainer& records,
                               CWordToIdsContainer& words);

// Points in a save where a test can stop it, as a crash would.
enum class SaveStage { kCommit, kReplaceRecords, kReplaceWords, kFinish };
using SaveInterruption = std::function<bool(SaveStage)>;

// Writes both files. S_OK when both were replaced; otherwise the failure,
// with the previous files in place, or, once the commit marker is durable,
// the new files (complete now or at the next start-up's recovery).
// `committed`, when set, runs once both files are replaced and before the
// marker goes: it empties the change journal; its failure is the save's,
// and the marker then stays, so that the next start-up empties the journal.
// `interrupt`, when set and returning true at a stage, ends the save there
// with E_ABORT and leaves its files behind, as a crash would.
HRESULT SaveIndexFiles(const std::u16string& data_directory,
                       const CIDContainer& records,
                       const CWordToIdsContainer& words,
                       const SaveInterruption& interrupt = nullptr,
                       const std::function<HRESULT()>& committed = nullptr);

// The image of the index files now in `data_directory`, when it is there
// and can be used; otherwise null, and why in *problem.
std::shared_ptr<const IndexImage> OpenIndexImage(
    const std::u16string& data_directory, ImageProblem* problem);

// Writes the image of the containers, which the index files in
// `data_directory` hold (a save just wrote them). S_OK, or the failure; no
// image is left behind then, since an image of older files could still
// hold pages forgotten since. Words that list a page above the records'
// last identifier (only damaged files hold such) get no image:
// HRESULT_FROM_WIN32(ERROR_INVALID_DATA).
HRESULT SaveIndexImage(const std::u16string& data_directory,
                       const CIDContainer& records,
                       const CWordToIdsContainer& words);

}  // namespace qoinfo
