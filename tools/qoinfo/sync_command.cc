// qoinfo sync: brings the index back into step with the history after a
// run that was cut short. A page whose visit the history no longer holds is
// taken out of the index the way every removal reaches it: the visit is put
// back for a moment and removed again, so that the agent hears the removal.
// Visits without a page are counted: their text is not kept anywhere, so
// only adding or importing them again can index them.
#include <iostream>

#include "platform/wide_string.h"
#include "tools/qoinfo/command_line.h"
#include "tools/qoinfo/commands.h"
#include "tools/common/exit_codes.h"
#include "tools/common/index_state.h"

namespace qoinfo::tools {
namespace {

constexpr char kUsage[] =
    "usage: qoinfo sync [--json]\n"
    "Removes from the index the pages whose visits the history no longer\n"
    "holds, and counts the visits that have no page (add or import them\n"
    "again to index them).\n";

}  // namespace

int RunSyncCommand(Session& session, const Arguments& args) {
  const std::string command = "sync";
  ParsedArguments parsed;
  int status = kExitOk;
  if (!ReadCommandArguments(command, args, CommandSyntax{{}, {"--json"}},
                            kUsage, &parsed, &status)) {
    return status;
  }
  const bool json = parsed.Has("--json");
  if (!session.EnsureAgent(command)) return kExitFailure;
  AgentConnection& connection = session.agent_connection();
  IBromURLBase* history = connection.history();
  HistoryAgreement agreement;
  // A server's index is what its files and journal hold: every change is
  // journaled before it is acknowledged.
  IndexState state;
  const CIDContainer* records = connection.InProcessRecords();
  if (records == nullptr) {
    ReadIndexState(connection.DataDirectory(), &state);
    records = &state.records;
  }
  HRESULT hr = CompareWithHistory(history, *records, &agreement);
  if (FAILED(hr)) {
    ReportFailure(command, json,
                  "the history could not be read: " + DescribeHResult(hr), hr);
    return kExitFailure;
  }
  std::size_t removed = 0;
  for (const CTimeURLContainer& page : agreement.pages_without_visit) {
    const platform::UniqueBstr url(platform::AllocBstr(page.m_url)),
        path(platform::AllocBstr(page.m_path)),
        title(platform::AllocBstr(page.m_title));
    ULONG index = 0;
    hr = url ? history->AddVisit(page.m_time, url.get(), path.get(),
                                 title.get(), &index)
             : E_OUTOFMEMORY;
    if (SUCCEEDED(hr)) hr = history->RemoveVisit(index);
    if (FAILED(hr)) {
      ReportFailure(command, json,
                    "a page could not be removed: " + DescribeHResult(hr), hr);
      return kExitFailure;
    }
    ++removed;
  }
  if (json) {
    std::cout << "{\"pages_removed\":" << removed << ",\"visits_without_page\":"
              << agreement.visits_without_page.size() << "}\n";
  } else {
    std::cout << "removed " << removed << " pages without a visit; "
              << agreement.visits_without_page.size()
              << " visits have no page (add or import them again)\n";
  }
  return kExitOk;
}

}  // namespace qoinfo::tools
