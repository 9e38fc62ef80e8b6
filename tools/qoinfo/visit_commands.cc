// qoinfo add and qoinfo forget: a visit enters or leaves the history. A
// visit added is also handed to the agent; a visit forgotten leaves the
// index through the history's removal event, as it would in the server.
#include <filesystem>
#include <iostream>

#include "platform/utf8.h"
#include "platform/wide_string.h"
#include "tools/common/damaged_copies.h"
#include "tools/common/exit_codes.h"
#include "tools/common/terminal_text.h"
#include "tools/common/text_input.h"
#include "tools/common/visit_filing.h"
#include "tools/qoinfo/command_line.h"
#include "tools/qoinfo/commands.h"
#include "tools/qoinfo/visit_time.h"
#include "urlbase/url_base.h"

namespace qoinfo::tools {
namespace {

constexpr char kAddUsage[] =
    "usage: qoinfo add --time T --url U [--path P] [--title TI]\n"
    "                  [--text-file F | --text TEXT] [--json]\n"
    "Records a visit in the history and indexes its page text (UTF-8, from\n"
    "standard input unless F or TEXT is given). T is seconds since 1970 UTC\n"
    "or YYYY-MM-DDTHH:MM:SSZ.\n";

constexpr char kForgetUsage[] =
    "usage: qoinfo forget --time T --url U [--json]\n"
    "Removes the visit from the history; its page leaves the index.\n";

// The visit's time and URL, required by both commands.
bool ReadVisitKey(const std::string& command, const ParsedArguments& parsed,
                  std::int64_t* time, std::u16string* url) {
  if (!parsed.Has("--time") || !parsed.Has("--url")) {
    ReportError(command, "--time and --url are required");
    return false;
  }
  if (!ParseVisitTime(parsed.Value("--time"), time)) {
    ReportError(command, "--time '" + parsed.Value("--time") +
                             "' is neither a number of seconds nor "
                             "YYYY-MM-DDTHH:MM:SSZ");
    return false;
  }
  std::string error;
  if (!DecodeUtf8Text(parsed.Value("--url"), url, &error) || url->empty()) {
    ReportError(command, url->empty() && error.empty()
                             ? "--url must not be empty"
                             : "--url: " + error);
    return false;
  }
  return true;
}

}  // namespace

int RunAddCommand(Session& session, const Arguments& args) {
  const std::string command = "add";
  ParsedArguments parsed;
  std::string error;
  int status = kExitOk;
  if (!ReadCommandArguments(command, args,
                            CommandSyntax{{"--time", "--url", "--path",
                                           "--title", "--text-file", "--text"},
                                          {"--json"}},
                            kAddUsage, &parsed, &status)) {
    return status;
  }
  std::int64_t time = 0;
  std::u16string url, path, title, text;
  if (!ReadVisitKey(command, parsed, &time, &url)) return kExitUsage;
  url = UrlWithoutUserInfo(url);  // what is filed, and shown
  if (!DecodeUtf8Text(parsed.Value("--path"), &path, &error) ||
      !DecodeUtf8Text(parsed.Value("--title"), &title, &error)) {
    ReportError(command, error);
    return kExitUsage;
  }
  if (parsed.Has("--text") && parsed.Has("--text-file")) {
    ReportError(command, "give --text or --text-file, not both");
    return kExitUsage;
  }
  std::string bytes = parsed.Value("--text");
  if (!parsed.Has("--text")) {
    if (!parsed.Has("--text-file") && session.stdin_is_commands) {
      ReportError(command,
                  "in a batch, the text comes from --text or --text-file");
      return kExitUsage;
    }
    if (!ReadAllBytes(parsed.Value("--text-file"), &bytes, &error)) {
      ReportError(command, error);
      return kExitFailure;
    }
  }
  if (!DecodeUtf8Text(bytes, &text, &error)) {
    ReportError(command, "the text: " + error);
    return kExitUsage;
  }

  if (!session.EnsureAgent(command)) return kExitFailure;
  FiledPage filed;
  const HRESULT hr = FilePage(session.agent_connection(), time, url, path,
                              title, text, &filed, &error);
  if (FAILED(hr)) {
    ReportFailure(command, parsed.Has("--json"), error, hr);
    return kExitFailure;
  }
  const ULONG index = filed.index;
  const bool new_visit = filed.new_visit;
  if (parsed.Has("--json")) {
    std::cout << "{\"index\":" << index
              << ",\"new\":" << (new_visit ? "true" : "false")
              << ",\"indexed\":" << (filed.indexed ? "true" : "false") << "}\n";
  } else if (new_visit) {
    std::cout << "added " << TerminalSafe(platform::Utf16ToUtf8(url)) << "\n";
  } else {
    std::cout << (filed.indexed ? "indexed the page of a visit already in the "
                                  "history: "
                                : "already in the history: ")
              << TerminalSafe(platform::Utf16ToUtf8(url)) << "\n";
  }
  return kExitOk;
}

int RunForgetCommand(Session& session, const Arguments& args) {
  const std::string command = "forget";
  ParsedArguments parsed;
  std::string error;
  int status = kExitOk;
  if (!ReadCommandArguments(command, args,
                            CommandSyntax{{"--time", "--url"}, {"--json"}},
                            kForgetUsage, &parsed, &status)) {
    return status;
  }
  std::int64_t time = 0;
  std::u16string url;
  if (!ReadVisitKey(command, parsed, &time, &url)) return kExitUsage;
  url = UrlWithoutUserInfo(url);  // what is filed, and shown

  if (!session.EnsureAgent(command, DataUse::kExisting)) return kExitFailure;
  const bool json = parsed.Has("--json");
  ULONG index = 0;
  const HRESULT hr =
      ForgetVisit(session.agent_connection(), time, url, &index, &error);
  if (hr == URLBASE_E_NOVISIT) {
    error = "no visit at " + FormatVisitTime(time) + " to " +
            TerminalSafe(platform::Utf16ToUtf8(url)) +
            " in the history: " + DescribeHResult(hr);
  }
  if (FAILED(hr)) {
    ReportFailure(command, json, error, hr);
    return kExitFailure;
  }
  if (parsed.Has("--json")) {
    std::cout << "{\"index\":" << index << ",\"removed\":true}\n";
  } else {
    std::cout << "forgot " << TerminalSafe(platform::Utf16ToUtf8(url)) << "\n";
  }
  // Copies of damaged files are kept as they were, for the person to
  // recover from; they may hold the page still.
  const std::u16string directory = session.agent_connection().DataDirectory();
  const std::size_t copies =
      DamagedCopies(std::filesystem::path(directory)).size();
  if (copies > 0) {
    ReportError(command,
                "note: " + std::to_string(copies) +
                    " copies of damaged files in " +
                    TerminalSafe(platform::Utf16ToUtf8(directory)) +
                    " were made before this and may still hold the page; "
                    "remove them once nothing is to be recovered from them "
                    "('qoinfo stats' lists them)");
  }
  return kExitOk;
}

}  // namespace qoinfo::tools
