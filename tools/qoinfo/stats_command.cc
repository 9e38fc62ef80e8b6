// qoinfo stats: how large the index and the history are. With the agent
// running in this session (a batch) its live containers are counted;
// otherwise the index files are read as they are on disk.
#include <filesystem>
#include <iostream>
#include <system_error>

#include "index/index_files.h"
#include "platform/file_system.h"
#include "platform/hresult_error.h"
#include "platform/utf8.h"
#include "tools/common/json_writer.h"
#include "tools/qoinfo/command_line.h"
#include "tools/qoinfo/commands.h"
#include "tools/qoinfo/exit_codes.h"
#include "urlbase/bromurlbase.h"

namespace qoinfo::tools {
namespace {

constexpr char kUsage[] =
    "usage: qoinfo stats [--json]\n"
    "Prints the number of visits, indexed pages, words and postings, and the\n"
    "data directory's files with their sizes.\n";

IndexCounts Count(const CIDContainer& records,
                  const CWordToIdsContainer& words) {
  IndexCounts counts;
  counts.pages = records.records().size();
  counts.last_page_id = records.lastId();
  counts.words = words.words().size();
  for (const auto& entry : words.words())
    counts.postings += entry.second.size();
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
  if (!session.EnsureHistory(command)) return kExitFailure;
  AgentConnection& connection = session.agent_connection();
  ULONG visits = 0;
  const HRESULT hr = connection.history()->Count(&visits);
  if (FAILED(hr)) {
    ReportError(command,
                "the history could not be counted: " + DescribeHResult(hr));
    return kExitFailure;
  }
  const std::u16string directory = connection.DataDirectory();
  const std::u16string records_path =
      IndexFilePath(directory, IndexFile::kRecords);
  const std::u16string words_path = IndexFilePath(directory, IndexFile::kWords);

  IndexCounts counts;
  FileInfo files[] = {
      Describe(records_path, "1.hcpa"), Describe(words_path, "2.hcpb"),
      Describe(directory + platform::kPathSeparator +
                   std::u16string(CBromURLBase::kHistoryFileName),
               "history.sqlite3")};
  try {
    if (connection.HasLiveIndex()) {
      const HRESULT counted = connection.CountIndex(&counts);
      if (FAILED(counted)) {
        ReportError(command, "the index could not be counted: " +
                                 DescribeHResult(counted));
        return kExitFailure;
      }
    } else {
      CIDContainer records;
      CWordToIdsContainer words;
      IndexFileLoad records_load, words_load;
      ReadIndexFile(records_path, records, records_load);
      ReadIndexFile(words_path, words, words_load);
      files[0].problem = ProblemText(records_load);
      files[1].problem = ProblemText(words_load);
      counts = Count(records, words);
    }
  } catch (...) {
    ReportError(command,
                DescribeHResult(platform::HResultFromCurrentException()));
    return kExitFailure;
  }

  std::string out;
  if (parsed.Has("--json")) {
    out = "{\"data_directory\":" + JsonQuote(platform::Utf16ToUtf8(directory)) +
          ",\"visits\":" + std::to_string(visits) +
          ",\"pages\":" + std::to_string(counts.pages) +
          ",\"last_page_id\":" + std::to_string(counts.last_page_id) +
          ",\"words\":" + std::to_string(counts.words) +
          ",\"postings\":" + std::to_string(counts.postings) + ",\"files\":[";
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
    out += "]}\n";
  } else {
    out = "data directory  " + platform::Utf16ToUtf8(directory) + "\n" +
          "visits          " + std::to_string(visits) + "\n" +
          "pages           " + std::to_string(counts.pages) + "\n" +
          "words           " + std::to_string(counts.words) + "\n" +
          "postings        " + std::to_string(counts.postings) + "\n";
    for (const FileInfo& file : files) {
      out += file.name + std::string(16 - file.name.size(), ' ') +
             (file.present ? std::to_string(file.bytes) + " bytes" : "missing");
      if (!file.problem.empty()) out += " (" + file.problem + ")";
      out += '\n';
    }
  }
  std::cout << out << std::flush;
  return std::cout ? kExitOk : kExitFailure;
}

}  // namespace qoinfo::tools
