// AgentConnection: what the tools use of the agent and the history,
// whichever way they run: embedded in qoinfo's own process
// (EmbeddedConnection) or in the QoInfoAgent server (server_connection.h).
// The tools read the same interfaces either way, so their output and exit
// codes do not depend on it.
//
// Used on the thread that made it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "agent/find.h"
#include "agent/snippet.h"

#include "com/interfaces.h"
#include "index/id_container.h"
#include "platform/com_base.h"
#include "urlbase/url_base.h"

namespace qoinfo::tools {

// A page as the index names it.
struct PageKey {
  std::int64_t time = 0;
  std::u16string url;
};

// The sizes of an index.
struct IndexCounts {
  std::size_t pages = 0;
  std::int64_t last_page_id = 0;
  std::size_t words = 0;
  std::size_t postings = 0;
};

class AgentConnection {
 public:
  virtual ~AgentConnection() = default;

  // Reaches the history only. On failure `error` says what failed.
  virtual HRESULT OpenHistory(std::string* error) = 0;
  // Reaches the history and a running agent.
  virtual HRESULT Start(std::string* error) = 0;
  // Lets go of both. The result of saving the index: S_OK, S_FALSE when
  // nothing was saved here, or the failure.
  virtual HRESULT Stop() = 0;

  virtual bool started() const = 0;
  virtual IZuInfoAgent* agent() const = 0;
  virtual IBromURLBase* history() const = 0;
  virtual std::u16string DataDirectory() const = 0;

  // Whether an index is running that CountIndex can count (otherwise the
  // index is what the files hold).
  virtual bool HasLiveIndex() const = 0;
  // Needs a started agent.
  virtual HRESULT HasPage(std::int64_t time, const std::u16string& url,
                          bool* indexed) = 0;
  virtual HRESULT CountIndex(IndexCounts* counts) = 0;
  // Find (agent/find.h) on the started agent, through its IFind: the hits
  // in *hits. E_INVALIDARG for an empty query; E_NOINTERFACE from a server
  // that has no IFind.
  virtual HRESULT Find(const std::u16string& query, const FindOptions& options,
                       ISearchDataEnumerator** hits);
  // The snippet for `query` of each of `pages`, in their order; none for a
  // page whose text is not kept. On failure *snippets is empty.
  virtual HRESULT Snippets(const std::u16string& query,
                           const FindOptions& options,
                           const std::vector<PageKey>& pages,
                           std::vector<std::optional<Snippet>>* snippets);

  // The page records of an agent running in this process; null otherwise.
  virtual const CIDContainer* InProcessRecords() const { return nullptr; }
  // The folder in which this process would open (and create) the history;
  // empty when the history runs elsewhere (a server).
  virtual std::u16string LocalDataDirectory() const { return std::u16string(); }
};

}  // namespace qoinfo::tools
