// libFuzzer target for the change-journal reader. The first byte chooses:
// even, the bytes are one record's payload (decoded, and when sound,
// encoded and decoded again to the same change); odd, they are a whole journal
// file, replayed onto an index (what was replayed must be whole records).
#include <cstddef>
#include <cstdint>
#include <string>

#include "index/change_journal.h"
#include "tests/fuzz/temp_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  using namespace qoinfo;
  if (size == 0) return 0;
  if (data[0] % 2 == 0) {
    const std::string payload(reinterpret_cast<const char*>(data) + 1,
                              size - 1);
    PageChange change;
    std::string problem;
    if (DecodeJournalPayload(payload, &change, &problem)) {
      // Encoding what was decoded and decoding it again changes nothing.
      std::string again;
      EncodeJournalRecord(change, &again);
      PageChange second;
      if (!DecodeJournalPayload(
              std::string_view(again).substr(kJournalFrameBytes), &second,
              &problem) ||
          second.kind != change.kind || !(second.record == change.record) ||
          second.words != change.words) {
        __builtin_trap();
      }
    }
    return 0;
  }
  const std::string& path = fuzzing::InputPath("journal");
  fuzzing::WriteInput(path, data + 1, size - 1);
  CIDContainer records;
  CWordToIdsContainer words;
  const JournalReplay replay = ReplayJournal(
      std::u16string(path.begin(), path.end()),
      [&](const PageChange& change) {
        ApplyPageChange(change, records, words);
      },
      /*copy_damaged=*/false);
  if (replay.valid_bytes > replay.file_bytes) __builtin_trap();
  if (!replay.damaged && replay.valid_bytes != replay.file_bytes)
    __builtin_trap();
  return 0;
}
