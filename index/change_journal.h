// ChangeJournal: the changes made to the index since it was last saved,
// appended to a file beside the index files ("index.journal") before the
// change is acknowledged, so that a crash loses nothing that was
// acknowledged. Start-up replays it onto the loaded files; a save empties it.
//
//   journal = header record*
//   header  = "QoInfoJ1"                      (8 bytes)
//   record  = fixed32 length  fixed32 crc32c(payload)  payload[length]
//   payload = 0x01 fixed64 time  string url  string path  string title
//                  fixed32 n  (string word  fixed32 count){n}   page added
//           | 0x02 fixed64 time  string url                     page removed
//   string  = the counted string of the index streams
//
// Append hands each record to the system at once (it survives the end of
// the process) and a background thread forces what was appended to the disk
// within kSyncDelay (it survives a power cut from then on). The owner calls
// everything but the syncing thread from one thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "index/page_change.h"
#include "platform/plain_file.h"

namespace qoinfo {

inline constexpr char kJournalMagic[] = "QoInfoJ1";
inline constexpr std::size_t kJournalHeaderBytes = 8;
inline constexpr std::size_t kJournalFrameBytes = 8;
// The largest payload a record may have; a longer one is refused when
// appended and taken for damage when read.
inline constexpr std::uint32_t kJournalMaxPayload = 1u << 30;

// Appends the framed record of `change` (length, checksum, payload).
void EncodeJournalRecord(const PageChange& change, std::string* out);
// Parses one payload. False, with `problem` set, when it is malformed.
bool DecodeJournalPayload(std::string_view payload, PageChange* change,
                          std::string* problem);

// What a replay found.
struct JournalReplay {
  HRESULT hr = S_OK;              // the journal could not be read at all
  std::uint64_t entries = 0;      // records applied
  std::uint64_t valid_bytes = 0;  // header and sound records
  std::uint64_t file_bytes = 0;
  bool damaged = false;         // bytes after valid_bytes were dropped
  std::string problem;          // for a damaged journal: what was found
  std::u16string damaged_copy;  // where the damaged journal was copied
};

// Reads the journal at `path` (a missing one is empty) and hands each sound
// record to `apply` in order, stopping at the first damaged or torn one.
// A damaged journal is copied aside (CopyDamagedFileAside) before anything
// else touches it, unless `copy_damaged` is false (a reader that only looks).
JournalReplay ReplayJournal(const std::u16string& path,
                            const std::function<void(const PageChange&)>& apply,
                            bool copy_damaged = true);

class ChangeJournal {
 public:
  // How long an appended record may wait for the disk.
  static constexpr std::chrono::milliseconds kSyncDelay{50};

  ChangeJournal() = default;
  ~ChangeJournal() { Close(); }
  ChangeJournal(const ChangeJournal&) = delete;
  ChangeJournal& operator=(const ChangeJournal&) = delete;

  // Opens `path` for appending after its first `valid_bytes` bytes (what a
  // replay found sound; the rest is cut off), writing the header to a new
  // or empty journal.
  HRESULT Open(const std::u16string& path, std::uint64_t valid_bytes);
  bool is_open() const { return file_ != nullptr; }

  // Appends one record; S_OK once the system holds it. After a flush to
  // the disk failed, every append answers that failure: what the journal
  // holds can no longer be promised to survive a power cut.
  HRESULT Append(const PageChange& change);
  // Forces every appended record to the disk now.
  HRESULT Sync();
  // Empties the journal down to its header, on the disk too: the changes it
  // held are in the index files now.
  HRESULT Clear();
  // Syncs and closes; nothing is removed.
  void Close();

  // Bytes in the journal, header included; 0 when closed.
  std::uint64_t size() const { return file_ ? file_->Size() : 0; }
  // Records appended since the journal was opened or cleared.
  std::uint64_t pending() const { return pending_; }

 private:
  void SyncLoop();

  std::unique_ptr<platform::AppendFile> file_;
  std::uint64_t pending_ = 0;
  std::thread syncer_;
  std::mutex mutex_;  // guards the three fields below
  std::condition_variable wake_;
  bool dirty_ = false;
  bool stopping_ = false;
  HRESULT sync_status_ = S_OK;
  std::mutex sync_mutex_;  // held while the file is synced or cut
};

}  // namespace qoinfo
