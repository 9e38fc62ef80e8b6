// qoinfo import-history: the visits a browser remembers become visits of
// our history, each page filed with the text known offline (its title and
// the words of its URL); --fetch then fetches the pages still waiting for
// their text and files them again with it. One session: one start-up and
// one save for the whole run. docs/import.md describes the behaviour.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <set>

#include "platform/interruption.h"
#include "platform/utf8.h"
#include "platform/wide_string.h"
#include "tools/common/exit_codes.h"
#include "tools/common/progress_line.h"
#include "tools/common/terminal_text.h"
#include "tools/common/visit_filing.h"
#include "tools/import/browser_history.h"
#include "tools/import/history_places.h"
#include "tools/import/html_page.h"
#include "tools/import/page_fetcher.h"
#include "tools/import/waiting_pages.h"
#include "tools/import/web_url.h"
#include "tools/qoinfo/command_line.h"
#include "tools/qoinfo/commands.h"
#include "tools/qoinfo/visit_time.h"
#include "urlbase/url_base.h"

namespace qoinfo::tools {
namespace {

constexpr char kCommand[] = "import-history";

constexpr char kUsage[] =
    "usage: qoinfo import-history [--browser chromium|chrome|firefox]\n"
    "         [--profile DIR] [--since TIME] [--limit N] [--fetch] [--json]\n"
    "Files the visits of the browsers' histories (every profile of Chromium,\n"
    "Chrome and Firefox found, or --browser's, or the database or folder\n"
    "--profile names) as visited pages, each with its title and the words\n"
    "of its URL as text; http and https visits only, the others are counted\n"
    "as skipped. The browser may go on running. Visits already imported are\n"
    "not filed again. --since TIME (seconds or YYYY-MM-DDTHH:MM:SSZ) keeps\n"
    "visits from then on, --limit N the N most recent. --fetch fetches each\n"
    "imported page still waiting for its text (no cookies, no credentials)\n"
    "and files it with that text; Ctrl+C stops it, a later --fetch goes on.\n"
    "Progress on a terminal, a summary at the end (--json: one object).\n";

struct Counts {
  std::size_t profiles = 0;
  std::size_t visits = 0;
  std::size_t added = 0;
  std::size_t already = 0;
  std::size_t skipped = 0;
  std::size_t failed = 0;
  std::size_t fetched = 0;
  std::size_t fetch_timeout = 0;
  std::size_t fetch_http_status = 0;
  std::size_t fetch_too_large = 0;
  std::size_t fetch_not_html = 0;
  std::size_t fetch_redirect = 0;
  std::size_t fetch_other = 0;
  std::size_t waiting = 0;
};

bool Stopping() { return platform::InterruptionRequested() || !std::cout; }

std::string Utf8(const std::filesystem::path& path) {
  const std::u8string u8 = path.u8string();
  return std::string(u8.begin(), u8.end());
}

std::string FormatName(HistoryFormat format) {
  return format == HistoryFormat::kFirefox ? "Firefox" : "Chromium";
}

// Every visit of the databases within the window, newest first; false
// after reporting the first database that cannot be read.
bool ReadAllHistories(const std::vector<HistoryDatabase>& databases,
                      const std::string& browser, const VisitWindow& window,
                      bool json, std::vector<BrowserVisit>* visits) {
  for (const HistoryDatabase& database : databases) {
    HistoryFormat format = HistoryFormat::kChromium;
    std::string error;
    if (!ReadBrowserHistory(database.file, window, &format, visits, &error)) {
      ReportFailure(kCommand, json, error + "; nothing was imported", E_FAIL);
      return false;
    }
    const bool wants_firefox = browser == "firefox";
    if (!browser.empty() && database.browser.empty() &&
        wants_firefox != (format == HistoryFormat::kFirefox)) {
      ReportFailure(kCommand, json,
                    Utf8(database.file) + " is a " + FormatName(format) +
                        " history, not " + browser + "'s; nothing was imported",
                    E_INVALIDARG);
      return false;
    }
  }
  std::stable_sort(visits->begin(), visits->end(),
                   [](const BrowserVisit& a, const BrowserVisit& b) {
                     return a.time > b.time;
                   });
  if (visits->size() > window.limit) visits->resize(window.limit);
  return true;
}

// Files the visits, oldest first; newly filed pages that may be fetched
// join `waiting`.
void FileVisits(Session& session, const std::vector<BrowserVisit>& visits,
                Counts* counts, std::set<ULONG>* waiting) {
  ProgressLine progress(kCommand, "visits", visits.size());
  std::size_t done = 0;
  for (auto it = visits.rbegin(); it != visits.rend(); ++it) {
    if (Stopping()) break;
    ++counts->visits;
    progress.Update(++done);
    WebUrl url;
    if (!ParseWebUrl(it->url, &url)) {
      ++counts->skipped;
      continue;
    }
    FiledPage filed;
    std::string why;
    const HRESULT hr =
        FilePage(session.agent_connection(), it->time, it->url,
                 std::u16string(), it->title, OfflinePageText(it->title, url),
                 &filed, &why);
    if (FAILED(hr)) {
      ++counts->failed;
      progress.End();
      ReportError(kCommand,
                  TerminalSafe(platform::Utf16ToUtf8(it->url)) + ": " + why);
      continue;
    }
    if (!filed.new_visit) {
      ++counts->already;
      continue;
    }
    ++counts->added;
    // A page behind credentials is never fetched.
    if (!url.has_user_info) waiting->insert(filed.index);
  }
}

// Fetches the waiting pages and files each fetched one with its text.
void FetchWaitingPages(Session& session, Counts* counts,
                       std::set<ULONG>* waiting) {
  IBromURLBase* history = session.agent_connection().history();
  std::vector<FetchRequest> requests;
  for (auto it = waiting->begin(); it != waiting->end();) {
    const ULONG index = *it;
    _URL_DATE_IA_S visit{};
    const HRESULT hr = history->GetData(&visit, index);
    // A visit forgotten since it was imported waits no more.
    if (hr == URLBASE_E_NOVISIT) {
      it = waiting->erase(it);
      continue;
    }
    ++it;
    if (FAILED(hr)) continue;
    const platform::UniqueBstr url(visit.Url), path(visit.Path),
        title(visit.Title);
    WebUrl parsed;
    const std::u16string text = platform::FromBstr(url.get());
    if (!ParseWebUrl(text, &parsed)) continue;
    requests.push_back(FetchRequest{index, platform::Utf16ToUtf8(text),
                                    platform::Utf16ToUtf8(parsed.host)});
  }
  ProgressLine progress(kCommand, "pages", requests.size());
  std::size_t done = 0;
  FetchPages(requests, Stopping, [&](FetchResult&& result) {
    progress.Update(++done);
    const ULONG index = static_cast<ULONG>(result.token);
    switch (result.outcome) {
      case FetchOutcome::kFetched:
        break;
      case FetchOutcome::kTimeout:
        ++counts->fetch_timeout;
        return;
      case FetchOutcome::kOther:
        ++counts->fetch_other;
        return;
      case FetchOutcome::kHttpStatus:
        ++counts->fetch_http_status;
        waiting->erase(index);
        return;
      case FetchOutcome::kTooLarge:
        ++counts->fetch_too_large;
        waiting->erase(index);
        return;
      case FetchOutcome::kNotHtml:
        ++counts->fetch_not_html;
        waiting->erase(index);
        return;
      case FetchOutcome::kRedirect:
        ++counts->fetch_redirect;
        waiting->erase(index);
        return;
    }
    HtmlPage page;
    std::string why;
    if (!ExtractHtmlPage(result.body, &page, &why, result.charset)) {
      ++counts->fetch_not_html;
      waiting->erase(index);
      return;
    }
    if (page.title.empty()) {
      _URL_DATE_IA_S visit{};
      if (SUCCEEDED(history->GetData(&visit, index))) {
        const platform::UniqueBstr url(visit.Url), path(visit.Path),
            title(visit.Title);
        page.title = platform::FromBstr(title.get());
      }
    }
    FiledPage filed;
    const HRESULT hr = RefilePage(session.agent_connection(), index,
                                  page.title, page.text, &filed, &why);
    waiting->erase(index);
    if (FAILED(hr)) {
      ++counts->failed;
      progress.End();
      ReportError(kCommand, "a fetched page could not be filed: " + why);
      return;
    }
    ++counts->fetched;
  });
}

void PrintSummary(const Counts& counts, bool fetch, bool json,
                  double seconds) {
  char text[32];
  if (json) {
    std::snprintf(text, sizeof text, "%.3f", seconds);
    std::cout << "{\"profiles\":" << counts.profiles
              << ",\"visits\":" << counts.visits
              << ",\"added\":" << counts.added
              << ",\"already\":" << counts.already
              << ",\"skipped\":" << counts.skipped
              << ",\"failed\":" << counts.failed
              << ",\"fetched\":" << counts.fetched
              << ",\"fetch_timeout\":" << counts.fetch_timeout
              << ",\"fetch_http_status\":" << counts.fetch_http_status
              << ",\"fetch_too_large\":" << counts.fetch_too_large
              << ",\"fetch_not_html\":" << counts.fetch_not_html
              << ",\"fetch_redirect\":" << counts.fetch_redirect
              << ",\"fetch_other\":" << counts.fetch_other
              << ",\"waiting\":" << counts.waiting << ",\"seconds\":" << text
              << "}\n";
    return;
  }
  std::snprintf(text, sizeof text, "%.1f", seconds);
  const char* profiles = counts.profiles == 1 ? " profile" : " profiles";
  if (counts.visits == 0) {
    std::cout << "no visits to import in " << counts.profiles << profiles
              << " (" << text << " s)\n";
  } else if (counts.added == 0 && counts.failed == 0) {
    std::cout << "nothing new: all " << counts.visits - counts.skipped
              << " visits were already imported (" << counts.skipped
              << " skipped: not http/https; " << counts.profiles << profiles
              << ") in "
              << text << " s\n";
  } else {
    std::cout << "imported " << counts.added << " new visits from "
              << counts.profiles << profiles << " (" << counts.already << " already in the history, "
              << counts.skipped << " skipped: not http/https, "
              << counts.failed << " failed) in " << text << " s\n";
  }
  if (fetch) {
    std::cout << "fetched " << counts.fetched << " pages ("
              << counts.fetch_timeout << " timed out, "
              << counts.fetch_http_status << " HTTP errors, "
              << counts.fetch_too_large << " too large, "
              << counts.fetch_not_html << " not HTML, "
              << counts.fetch_redirect << " redirects refused, "
              << counts.fetch_other << " other failures); " << counts.waiting
              << " still waiting\n";
  }
}

}  // namespace

int RunImportHistoryCommand(Session& session, const Arguments& args) {
  ParsedArguments parsed;
  int status = kExitOk;
  if (!ReadCommandArguments(
          kCommand, args,
          CommandSyntax{{"--browser", "--profile", "--since", "--limit"},
                        {"--fetch", "--json"},
                        false},
          kUsage, &parsed, &status)) {
    return status;
  }
  const bool json = parsed.Has("--json");
  const bool fetch = parsed.Has("--fetch");
  const std::string browser = parsed.Value("--browser");
  VisitWindow window;
  const auto& known = KnownBrowsers();
  if (parsed.Has("--browser") &&
      std::find(known.begin(), known.end(), browser) == known.end()) {
    ReportError(kCommand, "--browser is chromium, chrome or firefox, not '" +
                              TerminalSafe(browser) + "'");
    return kExitUsage;
  }
  if (parsed.Has("--since") &&
      !ParseVisitTime(parsed.Value("--since"), &window.since)) {
    ReportError(kCommand, "--since takes seconds since 1970 or "
                          "YYYY-MM-DDTHH:MM:SSZ, not '" +
                              TerminalSafe(parsed.Value("--since")) + "'");
    return kExitUsage;
  }
  if (parsed.Has("--limit")) {
    long long limit = 0;
    if (!ParseInt64(parsed.Value("--limit"), &limit) || limit < 1) {
      ReportError(kCommand, "--limit takes a whole number of at least 1, not '" +
                                TerminalSafe(parsed.Value("--limit")) + "'");
      return kExitUsage;
    }
    window.limit = static_cast<std::size_t>(limit);
  }

  std::vector<HistoryDatabase> databases;
  std::string error;
  if (parsed.Has("--profile")) {
    const std::string named = parsed.Value("--profile");
    if (!NamedHistoryDatabases(
            std::filesystem::path(std::u8string(named.begin(), named.end())),
            &databases, &error)) {
      ReportFailure(kCommand, json, error, E_INVALIDARG);
      return kExitFailure;
    }
  } else {
    std::vector<std::string> looked_in;
    databases = FindHistoryDatabases(browser, &looked_in);
    if (databases.empty()) {
      std::string where;
      for (const std::string& folder : looked_in) {
        where += (where.empty() ? "" : ", ") + folder;
      }
      ReportFailure(kCommand, json,
                    "no browser history found (looked in " +
                        (where.empty() ? std::string("no folder") : where) +
                        "); name one with --profile",
                    E_FAIL);
      return kExitFailure;
    }
  }

  const auto start = std::chrono::steady_clock::now();
  Counts counts;
  counts.profiles = databases.size();
  std::vector<BrowserVisit> visits;
  if (!ReadAllHistories(databases, parsed.Has("--profile") ? browser : "",
                        window, json, &visits)) {
    return kExitFailure;
  }
  if (!session.EnsureAgent(kCommand)) return kExitFailure;

  const std::u16string directory = session.agent_connection().DataDirectory();
  std::set<ULONG> waiting;
  if (directory.empty()) {
    ReportFailure(kCommand, json, "the history names no data directory",
                  E_FAIL);
    return kExitFailure;
  }
  if (!LoadWaitingPages(directory, &waiting, &error)) {
    ReportFailure(kCommand, json,
                  error + " (remove it to start the fetching afresh)", E_FAIL);
    return kExitFailure;
  }

  FileVisits(session, visits, &counts, &waiting);
  bool saved = SaveWaitingPages(directory, waiting, &error);
  if (saved && fetch && !Stopping()) {
    FetchWaitingPages(session, &counts, &waiting);
    saved = SaveWaitingPages(directory, waiting, &error);
  }
  if (!saved) {
    ReportError(kCommand, "the pages waiting for a fetch could not be noted: " +
                              error);
    ++counts.failed;
  }
  counts.waiting = waiting.size();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start)
          .count();
  PrintSummary(counts, fetch, json, seconds);
  return counts.failed == 0 ? kExitOk : kExitFailure;
}

}  // namespace qoinfo::tools
