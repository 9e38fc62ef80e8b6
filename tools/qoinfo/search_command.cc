// qoinfo search: the agent's ranked hits for a query, in the order Next
// hands them out.
#include <iostream>

#include "platform/utf8.h"
#include "platform/wide_string.h"
#include "tools/common/exit_codes.h"
#include "tools/common/search_hits.h"
#include "tools/common/terminal_text.h"
#include "tools/common/text_input.h"
#include "tools/qoinfo/command_line.h"
#include "tools/qoinfo/commands.h"
#include "tools/qoinfo/visit_time.h"

namespace qoinfo::tools {
namespace {

constexpr char kUsage[] =
    "usage: qoinfo search [--json] [--limit N] QUERY...\n"
    "Prints the pages that hold the query's words, best first: one line per\n"
    "hit (percent, time, URL, title), or with --json one object per line\n"
    "with the keys time, url, path, title, percent.\n";

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

  if (!session.EnsureAgent(command, DataUse::kExisting)) return kExitFailure;
  const SearchOutcome outcome =
      SearchPages(session.agent_connection().agent(), query, limit);
  if (outcome.search == E_INVALIDARG) {
    ReportError(command,
                "the query is empty: " + DescribeHResult(outcome.search));
    return kExitUsage;
  }
  if (FAILED(outcome.search)) {
    ReportError(command, DescribeHResult(outcome.search));
    return kExitFailure;
  }
  const bool json = parsed.Has("--json");
  std::string out;
  for (const SearchHit& hit : outcome.hits) {
    if (json) {
      out += SearchHitJson(hit) + '\n';
    } else {
      out += std::to_string(hit.percent) + "%\t" + FormatVisitTime(hit.time) +
             '\t' + TerminalSafe(hit.url) + '\t' + TerminalSafe(hit.title) +
             '\n';
    }
  }
  std::cout << out << std::flush;
  if (FAILED(outcome.reading)) {
    ReportError(command,
                "reading the hits failed: " + DescribeHResult(outcome.reading));
    return kExitFailure;
  }
  return std::cout ? kExitOk : kExitFailure;
}

}  // namespace qoinfo::tools
