// qoinfo search: the agent's ranked hits for a query (its Find: quoted
// phrases, and with --prefix a last word that may be a word's beginning),
// in the order Next hands them out, each with the passage that matched.
#include <iostream>

#include "platform/console.h"
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
    "usage: qoinfo search [--json] [--limit N] [--prefix] QUERY...\n"
    "Prints the pages that hold the query's words, best first: one line per\n"
    "hit (percent, time, URL, title) and under it, indented, the passage of\n"
    "the page that matched with the query's words in bold on a terminal; or\n"
    "with --json one object per line with the keys time, url, path, title,\n"
    "percent and snippet (text, marks, cut_before, cut_after). Words in\n"
    "double quotes (\"lighthouse keeper\") must follow each other in the\n"
    "page; with --prefix the last word also finds the words it begins.\n";

}  // namespace

int RunSearchCommand(Session& session, const Arguments& args) {
  const std::string command = "search";
  ParsedArguments parsed;
  std::string error;
  int status = kExitOk;
  if (!ReadCommandArguments(command, args,
                            CommandSyntax{{"--limit"}, {"--json", "--prefix"},
                                          true},
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
  FindOptions options;
  options.prefix = parsed.Has("--prefix");
  const SearchOutcome outcome =
      FindPages(session.agent_connection(), query, options, limit);
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
  const bool bold = !json && platform::StandardOutputShowsBold();
  std::string out;
  for (const SearchHit& hit : outcome.hits) {
    if (json) {
      out += SearchHitJson(hit) + '\n';
    } else {
      out += std::to_string(hit.percent) + "%\t" + FormatVisitTime(hit.time) +
             '\t' + TerminalSafe(hit.url) + '\t' + TerminalSafe(hit.title) +
             '\n';
      if (hit.snippet && !hit.snippet->text.empty())
        out += "    " + TerminalSnippet(*hit.snippet, bold) + '\n';
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
