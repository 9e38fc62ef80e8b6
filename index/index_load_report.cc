#include "index/index_load_report.h"

#include "platform/hresult_error.h"

namespace qoinfo {
namespace {

std::u16string Ascii(const std::string& text) {
  return std::u16string(text.begin(), text.end());
}

std::u16string Number(std::uint64_t n) { return Ascii(std::to_string(n)); }

const char16_t* FileName(IndexFile file) {
  return file == IndexFile::kRecords ? u"1.hcpa" : u"2.hcpb";
}

const char16_t* EntryNoun(IndexFile file) {
  return file == IndexFile::kRecords ? u" page records" : u" words";
}

std::u16string CopyNote(const IndexFileLoad& status) {
  if (!status.damaged_copy.empty()) {
    return u" (a copy is kept at " + status.damaged_copy + u")";
  }
  return std::u16string();
}

// "1.hcpa is missing", "2.hcpb is sound (8649 words)", ...
std::u16string StateOf(IndexFile file, const IndexFileLoad& status) {
  std::u16string text = FileName(file);
  if (status.missing) return text + u" is missing";
  if (status.damaged) {
    if (status.problem.offset == 0) {
      return text + u" is unreadable (" + Ascii(status.problem.what) + u")" +
             CopyNote(status);
    }
    return text + u" is damaged at byte " + Number(status.problem.offset) +
           u" (" + Ascii(status.problem.what) + u")" + CopyNote(status);
  }
  if (FAILED(status.hr)) {
    return text + u" cannot be opened (" +
           Ascii(platform::HResultCodeText(status.hr)) + u")";
  }
  return text + u" is sound (" + Number(status.entries) + EntryNoun(file) +
         u")";
}

}  // namespace

std::u16string DescribeIndexLoad(const std::u16string& data_directory,
                                 const IndexLoadResult& load) {
  if (load.NeitherFileExists()) return std::u16string();
  if (FAILED(load.hr)) {
    return u"The index in " + data_directory +
           u" was not loaded, and both of its files were left as they are: " +
           StateOf(IndexFile::kRecords, load.records) + u"; " +
           StateOf(IndexFile::kWords, load.words) +
           u". To keep the index, put back the missing or damaged file (from "
           u"a backup or the copy named here) and start again; to start a "
           u"new, empty index, move 1.hcpa, 2.hcpb and index.journal out of "
           u"that folder and index the pages again.";
  }
  std::u16string text;
  for (const IndexFile file : {IndexFile::kRecords, IndexFile::kWords}) {
    const IndexFileLoad& status =
        file == IndexFile::kRecords ? load.records : load.words;
    if (!status.damaged) continue;
    if (!text.empty()) text += u" ";
    text += std::u16string(FileName(file)) + u" in " + data_directory +
            u" was damaged at byte " + Number(status.problem.offset) + u" (" +
            Ascii(status.problem.what) + u"): the " + Number(status.entries) +
            EntryNoun(file) +
            u" before the damage were recovered and the rest was dropped" +
            CopyNote(status) + u".";
  }
  return text;
}

std::u16string DescribeJournalReplay(const std::u16string& data_directory,
                                     const JournalReplay& replay) {
  if (!replay.damaged) return std::u16string();
  std::u16string text =
      u"The change journal index.journal in " + data_directory + u" was " +
      Ascii(replay.problem) + u": the " + Number(replay.entries) +
      u" changes before it were replayed and the last " +
      Number(replay.file_bytes - replay.valid_bytes) + u" bytes were dropped";
  if (!replay.damaged_copy.empty()) {
    text += u" (a copy is kept at " + replay.damaged_copy + u")";
  }
  return text + u".";
}

}  // namespace qoinfo
