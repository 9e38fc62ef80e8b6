// qoinfo-index: looks into index files without changing them.
//   qoinfo-index dump [--records|--words] FILE     the container as JSON
//   qoinfo-index check [--records|--words] [--json] FILE
// Which container a file holds is told by its name (1.hcpa: page records,
// 2.hcpb: word index) unless a flag says so.
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "index/index_files.h"
#include "platform/plain_file.h"
#include "platform/utf8.h"
#include "platform/utf8_main.h"
#include "tools/common/damaged_copies.h"
#include "tools/common/json_writer.h"
#include "tools/common/exit_codes.h"

namespace {

using qoinfo::CIDContainer;
using qoinfo::CWordToIdsContainer;
using qoinfo::IndexFileLoad;
using qoinfo::RecordView;
using qoinfo::tools::JsonQuote;
using qoinfo::tools::kExitFailure;
using qoinfo::tools::kExitOk;
using qoinfo::tools::kExitUsage;

constexpr char kUsage[] =
    "usage: qoinfo-index dump [--records|--words] FILE\n"
    "       qoinfo-index check [--records|--words] [--json] FILE\n"
    "dump prints the container a file holds as JSON; check validates it and\n"
    "reports the first problem with its byte offset in the stream \"ids\"\n"
    "(exit 0 sound, 1 damaged or unreadable, 2 usage), and names the copies\n"
    "of earlier damaged versions kept beside the file (FILE.damaged-*).\n";

// The copies that a load of a damaged file left beside it, as paths.
std::vector<std::string> DamagedCopiesOf(const std::string& file) {
  const std::filesystem::path path(std::u8string(file.begin(), file.end()));
  const std::filesystem::path folder =
      path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
  std::vector<std::string> copies =
      qoinfo::tools::DamagedCopies(folder, path.filename().string());
  for (std::string& copy : copies) copy = (folder / copy).string();
  return copies;
}

enum class Kind { kUnknown, kRecords, kWords };

struct Options {
  std::string command;
  Kind kind = Kind::kUnknown;
  bool json = false;
  std::string file;
};

bool EndsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

int Usage(const std::string& message) {
  std::cerr << "qoinfo-index: " << message << "\n" << kUsage;
  return kExitUsage;
}

std::string Json(const std::u16string& text) {
  return JsonQuote(platform::Utf16ToUtf8(text));
}

std::u16string PathOf(const std::string& utf8, bool* ok) {
  std::u16string path;
  std::size_t offset = 0;
  *ok = platform::Utf8ToUtf16(utf8, &path, &offset);
  return path;
}

void DumpRecords(const CIDContainer& records) {
  std::cout << "{\"kind\":\"records\",\"lastId\":" << records.lastId()
            << ",\"records\":[";
  bool first = true;
  records.ForEachRecord([&](std::int64_t id, const RecordView& record) {
    std::cout << (first ? "" : ",") << "{\"id\":" << id
              << ",\"time\":" << record.time
              << ",\"url\":" << Json(std::u16string(record.url))
              << ",\"path\":" << Json(std::u16string(record.path))
              << ",\"title\":" << Json(std::u16string(record.title)) << "}";
    first = false;
  });
  std::cout << "]}\n";
}

void DumpWords(const CWordToIdsContainer& words) {
  std::cout << "{\"kind\":\"words\",\"words\":[";
  bool first = true;
  for (const auto& [word, postings] : words.GetWords()) {
    std::cout << (first ? "" : ",") << "{\"word\":" << Json(word)
              << ",\"ids\":[";
    bool first_id = true;
    for (const auto& [id, count] : postings) {
      std::cout << (first_id ? "" : ",") << '[' << id << ',' << count << ']';
      first_id = false;
    }
    std::cout << "]}";
    first = false;
  }
  std::cout << "]}\n";
}

std::string Describe(const IndexFileLoad& status) {
  if (status.missing) return "cannot open: no such file";
  if (status.hr == platform::kNotARegularFile) return "not a regular file";
  if (status.problem.found) {
    return "damaged at byte " + std::to_string(status.problem.offset) + ": " +
           status.problem.what;
  }
  return "cannot open: " + qoinfo::tools::DescribeHResult(status.hr);
}

int Run(const Options& options) {
  bool path_ok = false;
  const std::u16string path = PathOf(options.file, &path_ok);
  if (!path_ok) return Usage("the file name is not valid UTF-8");

  IndexFileLoad status;
  CIDContainer records;
  CWordToIdsContainer words;
  const bool read = options.kind == Kind::kRecords
                        ? qoinfo::ReadIndexFile(path, records, status)
                        : qoinfo::ReadIndexFile(path, words, status);
  const bool sound = read && !status.damaged;

  if (options.command == "dump") {
    if (!read) {
      std::cerr << "qoinfo-index: " << options.file << ": " << Describe(status)
                << "\n";
      return kExitFailure;
    }
    if (options.kind == Kind::kRecords) {
      DumpRecords(records);
    } else {
      DumpWords(words);
    }
    if (!sound) {
      std::cerr << "qoinfo-index: " << options.file << ": " << Describe(status)
                << " (printed what precedes it)\n";
    }
    std::cout.flush();
    return sound && std::cout ? kExitOk : kExitFailure;
  }

  const char* kind = options.kind == Kind::kRecords ? "records" : "words";
  const std::vector<std::string> copies = DamagedCopiesOf(options.file);
  const std::size_t entries = options.kind == Kind::kRecords
                                  ? records.RecordCount()
                                  : words.GetWords().size();
  if (options.json) {
    std::cout << "{\"file\":" << qoinfo::tools::JsonQuote(options.file)
              << ",\"kind\":\"" << kind
              << "\",\"sound\":" << (sound ? "true" : "false");
    if (sound) {
      std::cout << ",\"entries\":" << entries;
    } else {
      std::cout << ",\"offset\":" << status.problem.offset << ",\"problem\":"
                << qoinfo::tools::JsonQuote(Describe(status));
    }
    std::cout << ",\"damaged_copies\":[";
    for (std::size_t i = 0; i < copies.size(); ++i) {
      std::cout << (i > 0 ? "," : "") << qoinfo::tools::JsonQuote(copies[i]);
    }
    std::cout << "]}\n";
  } else if (sound) {
    std::cout << options.file << ": sound, " << entries
              << (options.kind == Kind::kRecords ? " page records" : " words")
              << "\n";
  } else {
    std::cout << options.file << ": " << Describe(status) << "\n";
  }
  if (!options.json) {
    for (const std::string& copy : copies) {
      std::cout << options.file << ": a damaged earlier version was copied to "
                << copy << "\n";
    }
  }
  std::cout.flush();
  return sound && std::cout ? kExitOk : kExitFailure;
}

}  // namespace

int Utf8Main(const std::vector<std::string>& args) {
  Options options;
  if (args.size() < 2) return Usage("no command");
  options.command = args[1];
  if (options.command == "-h" || options.command == "--help") {
    std::cout << kUsage;
    return kExitOk;
  }
  if (options.command == "--version") {
    std::cout << qoinfo::tools::kVersionText << "\n";
    return kExitOk;
  }
  if (options.command != "dump" && options.command != "check") {
    return Usage("unknown command '" + options.command + "'");
  }
  for (std::size_t i = 2; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--records") {
      options.kind = Kind::kRecords;
    } else if (arg == "--words") {
      options.kind = Kind::kWords;
    } else if (arg == "--json" && options.command == "check") {
      options.json = true;
    } else if (!arg.empty() && arg[0] == '-' && arg != "-") {
      return Usage("unknown option '" + arg + "'");
    } else if (options.file.empty()) {
      options.file = arg;
    } else {
      return Usage("more than one file");
    }
  }
  if (options.file.empty()) return Usage("no file named");
  if (options.kind == Kind::kUnknown) {
    if (EndsWith(options.file, "1.hcpa")) {
      options.kind = Kind::kRecords;
    } else if (EndsWith(options.file, "2.hcpb")) {
      options.kind = Kind::kWords;
    } else {
      return Usage(
          "cannot tell what " + options.file +
          " holds: name it 1.hcpa or 2.hcpb, or say --records or --words");
    }
  }
  return Run(options);
}
