// qoinfo import: every HTML file under the named folders becomes a visit,
// dated by the file's modification time, at its file: URL, with the title
// and text the HTML parser finds. One session: one start-up and one save
// for the whole import.
#include <chrono>
#include <cstdio>
#include <iostream>

#include "platform/interruption.h"
#include "tools/common/exit_codes.h"
#include "tools/common/progress_line.h"
#include "tools/common/terminal_text.h"
#include "tools/common/text_input.h"
#include "tools/common/visit_filing.h"
#include "tools/import/html_page.h"
#include "tools/import/page_files.h"
#include "tools/qoinfo/command_line.h"
#include "tools/qoinfo/commands.h"

namespace qoinfo::tools {
namespace {

constexpr char kUsage[] =
    "usage: qoinfo import [--json] DIR...\n"
    "Adds every *.html, *.htm and *.xhtml file under the folders (or a file\n"
    "named directly) as a visited page: time = the file's modification time,\n"
    "URL = its file: URL, title = its <title>, text = its visible text.\n"
    "Pages already in the history are left as they are. Shows progress on a\n"
    "terminal and a summary at the end (--json: one JSON object). A folder\n"
    "or file that cannot be read counts as failed; exit status 1 then.\n";

struct ImportCounts {
  std::size_t files = 0;
  std::size_t added = 0;
  std::size_t already = 0;
  std::size_t failed = 0;
  std::uint64_t bytes = 0;
};

// Adds one file; the reason on failure.
HRESULT ImportFile(Session& session, const PageFile& file, bool* added,
                   std::string* why) {
  std::string bytes;
  if (!ReadAllBytes(file.path, &bytes, why)) return E_FAIL;
  HtmlPage page;
  if (!ExtractHtmlPage(bytes, &page, why)) return E_INVALIDARG;
  std::u16string path, url;
  if (!DecodeUtf8Text(file.path, &path, why) ||
      !DecodeUtf8Text(FileUrl(file.path), &url, why)) {
    return E_INVALIDARG;
  }
  FiledPage filed;
  const HRESULT hr =
      FilePage(session.agent_connection(), file.modified_unix_seconds, url,
               path, page.title, page.text, &filed, why);
  *added = filed.new_visit;
  return hr;
}

}  // namespace

int RunImportCommand(Session& session, const Arguments& args) {
  const std::string command = "import";
  ParsedArguments parsed;
  std::string error;
  int status = kExitOk;
  if (!ReadCommandArguments(command, args, CommandSyntax{{}, {"--json"}, true},
                            kUsage, &parsed, &status)) {
    return status;
  }
  if (parsed.operands.empty()) {
    ReportError(command, "name at least one folder");
    std::cerr << kUsage;
    return kExitUsage;
  }
  std::vector<PageFile> files;
  std::vector<std::string> warnings;
  if (!FindHtmlFiles(parsed.operands, &files, &warnings, &error)) {
    ReportError(command, error);
    return kExitFailure;
  }
  for (const std::string& warning : warnings) ReportError(command, warning);
  if (!session.EnsureAgent(command)) return kExitFailure;

  const auto start = std::chrono::steady_clock::now();
  ImportCounts counts;
  // A folder or file that could not be read is a failure like a page that
  // could not be filed: it shows in the count and in the exit status.
  counts.failed = warnings.size();
  ProgressLine progress("import", "files", files.size());
  for (const PageFile& file : files) {
    // Stopped from outside: what was filed so far is kept and saved.
    if (platform::InterruptionRequested() || !std::cout) break;
    bool added = false;
    std::string why;
    const HRESULT hr = ImportFile(session, file, &added, &why);
    ++counts.files;
    counts.bytes += file.size_bytes;
    if (FAILED(hr)) {
      ++counts.failed;
      progress.End();
      ReportError(command, TerminalSafe(file.path) + ": " + why);
    } else if (added) {
      ++counts.added;
    } else {
      ++counts.already;
    }
    progress.Update(counts.files);
  }
  progress.End();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start)
          .count();
  char rounded[32];
  std::snprintf(rounded, sizeof rounded, "%.1f", seconds);
  char json_seconds[32];
  std::snprintf(json_seconds, sizeof json_seconds, "%.3f", seconds);

  if (parsed.Has("--json")) {
    std::cout << "{\"files\":" << counts.files << ",\"added\":" << counts.added
              << ",\"already\":" << counts.already
              << ",\"failed\":" << counts.failed
              << ",\"bytes\":" << counts.bytes
              << ",\"seconds\":" << json_seconds << "}\n";
  } else {
    std::cout << "imported " << counts.added << " new pages from "
              << counts.files << " files (" << counts.already
              << " already in the history, " << counts.failed << " failed) in "
              << rounded << " s\n";
  }
  return counts.failed == 0 ? kExitOk : kExitFailure;
}

}  // namespace qoinfo::tools
