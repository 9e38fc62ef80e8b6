// qoinfo search: the agent's ranked hits for a query, in the order Next
// hands them out.
#include <iostream>

#include "platform/com_ptr.h"
#include "platform/utf8.h"
#include "platform/wide_string.h"
#include "tools/common/json_writer.h"
#include "tools/common/terminal_text.h"
#include "tools/common/text_input.h"
#include "tools/qoinfo/command_line.h"
#include "tools/qoinfo/commands.h"
#include "tools/qoinfo/exit_codes.h"
#include "tools/qoinfo/visit_time.h"

namespace qoinfo::tools {
namespace {

constexpr char kUsage[] =
    "usage: qoinfo search [--json] [--limit N] QUERY...\n"
    "Prints the pages that hold the query's words, best first: one line per\n"
    "hit (percent, time, URL, title), or with --json one object per line\n"
    "with the keys time, url, path, title, percent.\n";

// Owns the strings of one hit.
struct Hit {
  explicit Hit(const _URL_DATE_IA_S& data)
      : url(data.Url), path(data.Path), title(data.Title) {}
  platform::UniqueBstr url, path, title;
};

std::string Text(const platform::UniqueBstr& text) {
  return platform::Utf16ToUtf8(platform::FromOleString(text.get()));
}

}  // namespace

int RunSearchCommand(Session& session, const Arguments& args) {
  const std::string command = "search";
  ParsedArguments parsed;
  std::string error;
  int status = kExitOk;
  if (!ReadCommandArguments(command, args,
                            CommandSyntax{{"--limit"}, {"--json"}, true},
                            kUsage, &parsed, &status)) {
    return status;
  }
  long long limit = -1;
  if (parsed.Has("--limit") &&
      (!ParseInt64(parsed.Value("--limit"), &limit) || limit < 0)) {
    ReportError(command, "--limit needs a number of hits, 0 or more");
    return kExitUsage;
  }
  // The operands, one space between each two.
  std::string query_bytes;
  for (std::size_t i = 0; i < parsed.operands.size(); ++i) {
    if (i > 0) query_bytes += ' ';
    query_bytes += parsed.operands[i];
  }
  std::u16string query;
  if (!DecodeUtf8Text(query_bytes, &query, &error)) {
    ReportError(command, "the query: " + error);
    return kExitUsage;
  }

  if (!session.EnsureAgent(command)) return kExitFailure;
  const platform::UniqueBstr what(platform::AllocBstr(query));
  if (!what) {
    ReportError(command, DescribeHResult(E_OUTOFMEMORY));
    return kExitFailure;
  }
  platform::ComPtr<ISearchDataEnumerator> hits;
  HRESULT hr =
      session.agent_connection().agent()->Search(what.get(), hits.out());
  if (hr == E_INVALIDARG) {
    ReportError(command, "the query is empty: " + DescribeHResult(hr));
    return kExitUsage;
  }
  if (FAILED(hr)) {
    ReportError(command, DescribeHResult(hr));
    return kExitFailure;
  }
  const bool json = parsed.Has("--json");
  std::string out;
  for (long long count = 0; limit < 0 || count < limit; ++count) {
    _URL_DATE_IA_S data{};
    hr = hits->Next(&data);
    if (hr != S_OK) break;
    const Hit hit(data);
    if (json) {
      out += "{\"time\":" + std::to_string(data.Time) +
             ",\"url\":" + JsonQuote(Text(hit.url)) +
             ",\"path\":" + JsonQuote(Text(hit.path)) +
             ",\"title\":" + JsonQuote(Text(hit.title)) +
             ",\"percent\":" + std::to_string(data.Percent) + "}\n";
    } else {
      out += std::to_string(data.Percent) + "%\t" + FormatVisitTime(data.Time) +
             '\t' + TerminalSafe(Text(hit.url)) + '\t' +
             TerminalSafe(Text(hit.title)) + '\n';
    }
  }
  std::cout << out << std::flush;
  if (FAILED(hr)) {
    ReportError(command, "reading the hits failed: " + DescribeHResult(hr));
    return kExitFailure;
  }
  return std::cout ? kExitOk : kExitFailure;
}

}  // namespace qoinfo::tools
