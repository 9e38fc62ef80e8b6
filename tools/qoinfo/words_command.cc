#include "tools/qoinfo/words_command.h"

#include <iostream>

#include "agent/word_extraction.h"
#include "platform/hresult_error.h"
#include "platform/utf8.h"
#include "platform/wide_string.h"
#include "tools/common/json_writer.h"
#include "tools/common/text_input.h"
#include "tools/common/exit_codes.h"

namespace qoinfo::tools {
namespace {

constexpr char kUsage[] =
    "usage: qoinfo words [--json] [--text-file FILE]\n"
    "Reads UTF-8 text (standard input unless FILE is named) and prints the\n"
    "word-count map that indexing would file: one '<count>\\t<word>' line per\n"
    "word, in index order; with --json one object "
    "{\"words\":[[word,count],...]}.\n";

}  // namespace

int RunWordsCommand(const std::vector<std::string>& args) {
  bool json = false;
  std::string text_file;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--json") {
      json = true;
    } else if (args[i] == "--text-file" && i + 1 < args.size()) {
      text_file = args[++i];
    } else if (args[i] == "-h" || args[i] == "--help") {
      std::cout << kUsage;
      return kExitOk;
    } else {
      std::cerr << "qoinfo words: unexpected argument '" << args[i] << "'\n"
                << kUsage;
      return kExitUsage;
    }
  }

  std::string bytes, error;
  std::u16string text;
  if (!ReadAllBytes(text_file, &bytes, &error)) {
    std::cerr << "qoinfo words: " << error << "\n";
    return kExitFailure;
  }
  if (!DecodeUtf8Text(bytes, &text, &error)) {
    std::cerr << "qoinfo words: " << error << "\n";
    return kExitUsage;
  }

  WordCountMap counts;
  try {
    platform::UniqueBstr bstr(platform::AllocBstr(text));
    if (!bstr) throw platform::HResultError(E_OUTOFMEMORY);
    counts = ExtractWords(bstr.get());
  } catch (...) {
    std::cerr << "qoinfo words: "
              << DescribeHResult(platform::HResultFromCurrentException())
              << "\n";
    return kExitFailure;
  }

  std::string out;
  if (json) {
    out = "{\"words\":[";
    bool first = true;
    for (const auto& [word, count] : counts) {
      if (!first) out += ',';
      first = false;
      out += '[' + JsonQuote(platform::Utf16ToUtf8(word)) + ',' +
             std::to_string(count) + ']';
    }
    out += "]}\n";
  } else {
    for (const auto& [word, count] : counts) {
      out += std::to_string(count) + '\t' + platform::Utf16ToUtf8(word) + '\n';
    }
  }
  std::cout << out << std::flush;
  return std::cout ? kExitOk : kExitFailure;
}

}  // namespace qoinfo::tools
