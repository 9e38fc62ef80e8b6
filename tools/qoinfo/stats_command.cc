// qoinfo stats: how large the index and the history are, whether they agree,
// and what damage was found. With the agent running in this session (a
// batch) its live containers are counted; otherwise the index is read as
// the next start-up would find it (files and journal), changing nothing.
// Exit status 1 when a file is damaged or unreadable.
#include <filesystem>
#include <iostream>
#include <system_error>

#include "index/index_files.h"
#include "platform/data_directory.h"
#include "platform/file_system.h"
#include "platform/hresult_error.h"
#include "platform/utf8.h"
#include "tools/common/json_writer.h"
#include "tools/common/terminal_text.h"
#include "tools/qoinfo/command_line.h"
#include "tools/qoinfo/commands.h"
#include "tools/common/exit_codes.h"
#include "tools/common/index_state.h"
#include "platform/com_ptr.h"
#include "urlbase/bromurlbase.h"
#include "urlbase/page_texts.h"

namespace qoinfo::tools {
namespace {

constexpr char kUsage[] =
    "usage: qoinfo stats [--json]\n"
    "Prints the number of visits, indexed pages, words and postings, and the\n"
    "data directory's files with their sizes; warns when other users can\n"
    "read the data directory.\n";

IndexCounts Count(const CIDContainer& records,
                  const CWordToIdsContainer& words) {
  IndexCounts counts;
  counts.pages = records.RecordCount();
  counts.last_page_id = records.lastId();
  counts.words = words.WordCount();
  counts.postings = words.PostingCount();
  return counts;
}

struct FileInfo {
  std::string name;
  bool present = false;
  std::uintmax_t bytes = 0;
  std::string problem;  // why the file could not be read, if it could not
};

FileInfo Describe(const std::u16string& path, const std::string& name) {
  FileInfo info;
  info.name = name;
  std::error_code error;
  const std::uintmax_t bytes =
      std::filesystem::file_size(std::filesystem::path(path), error);
  if (!error) {
    info.present = true;
    info.bytes = bytes;
  }
  return info;
}

std::string ProblemText(const IndexFileLoad& load) {
  if (load.missing) return std::string();
  if (load.damaged) {
    return "damaged at byte " + std::to_string(load.problem.offset) + ": " +
           load.problem.what;
  }
  if (FAILED(load.hr)) return "cannot be read: " + DescribeHResult(load.hr);
  return std::string();
}

// What the history keeps of the pages' texts; `known` false when it cannot
// say (a history without texts).
struct TextTotals {
  bool known = false;
  LONG keep = 0;
  ULONG count = 0;
  std::int64_t bytes = 0;
};

TextTotals TextTotalsOf(IBromURLBase* history) {
  TextTotals totals;
  platform::ComPtr<IBromPageTexts> texts;
  if (SUCCEEDED(history->QueryInterface(IID_IBromPageTexts,
                                        texts.out_void())) &&
      texts.get() != nullptr) {
    totals.known = SUCCEEDED(
        texts->GetTextTotals(&totals.keep, &totals.count, &totals.bytes));
  }
  return totals;
}

}  // namespace

int RunStatsCommand(Session& session, const Arguments& args) {
  const std::string command = "stats";
  ParsedArguments parsed;
  std::string error;
  int status = kExitOk;
  if (!ReadCommandArguments(command, args, CommandSyntax{{}, {"--json"}},
                            kUsage, &parsed, &status)) {
    return status;
  }
  if (!session.EnsureHistory(command, DataUse::kExisting)) return kExitFailure;
  AgentConnection& connection = session.agent_connection();
  ULONG visits = 0;
  HRESULT hr = connection.history()->Count(&visits);
  if (FAILED(hr)) {
    ReportError(command,
                "the history could not be counted: " + DescribeHResult(hr));
    return kExitFailure;
  }
  const TextTotals texts = TextTotalsOf(connection.history());
  const std::u16string directory = connection.DataDirectory();
  FileInfo files[] = {
      Describe(IndexFilePath(directory, IndexFile::kRecords), "1.hcpa"),
      Describe(IndexFilePath(directory, IndexFile::kWords), "2.hcpb"),
      Describe(IndexFilePath(directory, IndexFile::kJournal), "index.journal"),
      Describe(directory + platform::kPathSeparator +
                   std::u16string(CBromURLBase::kHistoryFileName),
               "history.sqlite3")};
  IndexCounts counts;
  IndexState state;
  HistoryAgreement agreement;
  try {
    // An agent of this process has its records at hand (and reported what
    // its load found). Otherwise every change is journaled before it is
    // acknowledged: the files and the journal tell what the index holds,
    // even while a server runs.
    const CIDContainer* records = connection.InProcessRecords();
    if (records != nullptr) {
      FindLeftovers(directory, &state);
    } else {
      ReadIndexState(directory, &state);
      files[0].problem = ProblemText(state.records_load);
      files[1].problem = ProblemText(state.words_load);
      if (state.journal.damaged) files[2].problem = state.journal.problem;
      if (FAILED(state.journal.hr)) {
        files[2].problem =
            "cannot be read: " + DescribeHResult(state.journal.hr);
      }
    }
    if (connection.HasLiveIndex()) {
      hr = connection.CountIndex(&counts);
      if (FAILED(hr)) {
        ReportError(command,
                    "the index could not be counted: " + DescribeHResult(hr));
        return kExitFailure;
      }
    } else {
      counts = Count(state.records, state.words);
    }
    hr = CompareWithHistory(connection.history(),
                            records != nullptr ? *records : state.records,
                            &agreement);
    if (FAILED(hr)) {
      ReportError(command,
                  "the history could not be read: " + DescribeHResult(hr));
      return kExitFailure;
    }
  } catch (...) {
    ReportError(command,
                DescribeHResult(platform::HResultFromCurrentException()));
    return kExitFailure;
  }
  bool damaged = false;
  for (const FileInfo& file : files) damaged |= !file.problem.empty();
  // Not a failure, but said every time: the history is the person's.
  const std::string open_to_others =
      platform::Utf16ToUtf8(platform::FolderOpenToOthers(directory));

  std::string out;
  if (parsed.Has("--json")) {
    out =
        "{\"data_directory\":" + JsonQuote(platform::Utf16ToUtf8(directory)) +
        ",\"data_directory_open_to_others\":" +
        (open_to_others.empty() ? "false" : "true") +
        ",\"visits\":" + std::to_string(visits) +
        ",\"pages\":" + std::to_string(counts.pages) +
        ",\"last_page_id\":" + std::to_string(counts.last_page_id) +
        ",\"words\":" + std::to_string(counts.words) +
        ",\"postings\":" + std::to_string(counts.postings) +
        ",\"journaled_changes\":" + std::to_string(state.journal.entries) +
        ",\"visits_without_page\":" +
        std::to_string(agreement.visits_without_page.size()) +
        ",\"pages_without_visit\":" +
        std::to_string(agreement.pages_without_visit.size()) +
        ",\"save_interrupted\":" + (state.save_interrupted ? "true" : "false") +
        ",\"damaged_copies\":[";
    for (std::size_t i = 0; i < state.damaged_copies.size(); ++i) {
      out += (i > 0 ? "," : "") + JsonQuote(state.damaged_copies[i]);
    }
    out += "],\"files\":[";
    bool first = true;
    for (const FileInfo& file : files) {
      if (!first) out += ',';
      first = false;
      out += "{\"name\":" + JsonQuote(file.name) +
             ",\"present\":" + (file.present ? "true" : "false") +
             ",\"bytes\":" + std::to_string(file.bytes);
      if (!file.problem.empty())
        out += ",\"problem\":" + JsonQuote(file.problem);
      out += '}';
    }
    out += ']';
    // Added after the keys callers already read, in their order.
    if (texts.known) {
      out += ",\"store_text\":" +
             std::string(texts.keep != 0 ? "true" : "false") +
             ",\"texts_kept\":" + std::to_string(texts.count) +
             ",\"text_bytes\":" + std::to_string(texts.bytes);
    }
    out += "}\n";
  } else {
    out = "data directory  " + TerminalSafe(platform::Utf16ToUtf8(directory)) +
          "\n";
    if (!open_to_others.empty()) {
      out += "warning         the data directory can be read by other users: " +
             open_to_others + "\n";
    }
    out += "visits          " + std::to_string(visits) + "\n" +
           "pages           " + std::to_string(counts.pages) + "\n" +
           "words           " + std::to_string(counts.words) + "\n" +
           "postings        " + std::to_string(counts.postings) + "\n";
    if (texts.known) {
      out += "page texts      " + std::to_string(texts.count) + " kept, " +
             std::to_string(texts.bytes) + " bytes compressed (store-text " +
             (texts.keep != 0 ? "on" : "off") + ")\n";
    }
    if (state.journal.entries > 0) {
      out += "journaled       " + std::to_string(state.journal.entries) +
             " changes since the last save\n";
    }
    if (!agreement.visits_without_page.empty() ||
        !agreement.pages_without_visit.empty()) {
      out += "out of step     " +
             std::to_string(agreement.visits_without_page.size()) +
             " visits without a page (an empty text, or an add that was "
             "cut short: add or import them again), " +
             std::to_string(agreement.pages_without_visit.size()) +
             " pages without a visit ('qoinfo sync' removes them)\n";
    }
    if (state.save_interrupted) {
      out += "save            interrupted; the next start-up finishes it\n";
    }
    for (const FileInfo& file : files) {
      out += file.name + std::string(16 - file.name.size(), ' ') +
             (file.present ? std::to_string(file.bytes) + " bytes" : "missing");
      if (!file.problem.empty()) out += " (" + file.problem + ")";
      out += '\n';
    }
    for (const std::string& copy : state.damaged_copies) {
      out += "damaged copy    " + TerminalSafe(copy) + "\n";
    }
  }
  std::cout << out << std::flush;
  if (!std::cout) return kExitFailure;
  return damaged ? kExitFailure : kExitOk;
}

}  // namespace qoinfo::tools
