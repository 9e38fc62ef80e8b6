// The server on the session bus: the history service and the agent service
// reached through their proxies (host/linux).
#include <filesystem>
#include <system_error>

#include "agent/page_snippet.h"
#include "host/linux/bus_agent_proxy.h"
#include "host/linux/bus_names.h"
#include "host/linux/bus_url_base.h"
#include "host/linux/session_bus.h"
#include "platform/com_ptr.h"
#include "platform/utf8.h"
#include "platform/wide_string.h"
#include "tools/common/exit_codes.h"
#include "tools/common/server_connection.h"

namespace qoinfo::tools {
namespace {

class BusConnection final : public AgentConnection {
 public:
  explicit BusConnection(std::unique_ptr<sdbus::IConnection> connection)
      : m_connection(std::move(connection)) {}
  ~BusConnection() override { Stop(); }

  HRESULT OpenHistory(std::string* error) override {
    if (m_history.get() != nullptr) return S_OK;
    const HRESULT hr = bus::CBusURLBase::Create(*m_connection, IID_IBromURLBase,
                                                m_history.out_void());
    if (FAILED(hr))
      *error = "cannot reach the history service: " + DescribeHResult(hr);
    return hr;
  }

  HRESULT Start(std::string* error) override {
    if (m_started) return S_OK;
    HRESULT hr = OpenHistory(error);
    if (FAILED(hr)) return hr;
    IndexCounts counts;
    // Counting starts the server when it is not running, and tells whether
    // its agent runs.
    hr = CountIndex(&counts);
    if (FAILED(hr)) {
      *error = "the QoInfoAgent server has no running agent: " +
               DescribeHResult(hr) + " (its log says why)";
      return hr;
    }
    m_started = true;
    return S_OK;
  }

  // The server saves its index when it ends; nothing is saved here.
  HRESULT Stop() override {
    m_started = false;
    m_agent.Reset();
    m_history.Reset();
    return S_FALSE;
  }

  bool started() const override { return m_started; }
  IZuInfoAgent* agent() const override { return m_agent.get(); }
  IBromURLBase* history() const override { return m_history.get(); }
  std::u16string DataDirectory() const override {
    return m_history.get() != nullptr ? DataDirectoryOf(m_history.get())
                                      : std::u16string();
  }
  bool HasLiveIndex() const override { return true; }

  HRESULT HasPage(std::int64_t time, const std::u16string& url,
                  bool* indexed) override {
    HRESULT hr = Agent();
    if (FAILED(hr)) return hr;
    const platform::UniqueBstr text(platform::AllocBstr(url));
    if (!text) return E_OUTOFMEMORY;
    return m_agent->HasPage(time, text.get(), indexed);
  }

  // One call for as many as kMaxSnippetPages pages.
  HRESULT Snippets(const std::u16string& query, const FindOptions& options,
                   const std::vector<PageKey>& pages,
                   std::vector<std::optional<Snippet>>* snippets) override {
    snippets->clear();
    HRESULT hr = Agent();
    std::vector<std::optional<Snippet>> all;
    for (std::size_t first = 0; SUCCEEDED(hr) && first < pages.size();
         first += bus::kMaxSnippetPages) {
      std::vector<bus::PageKeyRecord> keys;
      for (std::size_t i = first;
           i < pages.size() && i < first + bus::kMaxSnippetPages; ++i) {
        const platform::UniqueBstr url(platform::AllocBstr(pages[i].url));
        if (!url) return E_OUTOFMEMORY;
        keys.emplace_back(pages[i].time, bus::TextFromBstr(url.get()));
      }
      std::vector<std::optional<Snippet>> some;
      hr = m_agent->Snippets(query, FindOptionsToBits(options), keys, &some);
      for (auto& snippet : some) all.push_back(std::move(snippet));
    }
    if (SUCCEEDED(hr)) *snippets = std::move(all);
    return hr;
  }

  HRESULT CountIndex(IndexCounts* counts) override {
    HRESULT hr = Agent();
    if (FAILED(hr)) return hr;
    std::uint64_t pages = 0, words = 0, postings = 0;
    std::int64_t last_page_id = 0;
    hr = m_agent->Counts(&pages, &last_page_id, &words, &postings);
    if (FAILED(hr)) return hr;
    counts->pages = pages;
    counts->last_page_id = last_page_id;
    counts->words = words;
    counts->postings = postings;
    return S_OK;
  }

 private:
  HRESULT Agent() {
    if (m_agent.get() != nullptr) return S_OK;
    return bus::CBusAgent::Create(*m_connection, m_agent.out());
  }

  std::unique_ptr<sdbus::IConnection> m_connection;
  platform::ComPtr<IBromURLBase> m_history;
  platform::ComPtr<bus::CBusAgent> m_agent;
  bool m_started = false;
};

// Whether the bus has the agent's name or can start its owner.
bool AgentReachable(sdbus::IConnection& connection) {
  try {
    auto bus = sdbus::createProxy(connection, "org.freedesktop.DBus",
                                  "/org/freedesktop/DBus");
    bus->finishRegistration();
    bool running = false;
    bus->callMethod("NameHasOwner")
        .onInterface("org.freedesktop.DBus")
        .withArguments(std::string(bus::kAgentName))
        .storeResultsTo(running);
    if (running) return true;
    std::vector<std::string> names;
    bus->callMethod("ListActivatableNames")
        .onInterface("org.freedesktop.DBus")
        .storeResultsTo(names);
    for (const std::string& name : names) {
      if (name == bus::kAgentName) return true;
    }
  } catch (const sdbus::Error&) {
  }
  return false;
}

bool SameFolder(const std::u16string& a, const std::u16string& b) {
  std::error_code error;
  const auto canonical_a = std::filesystem::weakly_canonical(a, error);
  const auto canonical_b = std::filesystem::weakly_canonical(b, error);
  return !error && canonical_a == canonical_b;
}

}  // namespace

std::unique_ptr<AgentConnection> ConnectServer(
    const std::u16string& data_directory, std::string* why) {
  std::unique_ptr<sdbus::IConnection> connection =
      bus::ConnectToSessionBus(why);
  if (!connection) return nullptr;
  if (!AgentReachable(*connection)) {
    *why =
        "the QoInfoAgent server is neither running nor registered on the "
        "session bus (qoinfoagent -RegServer registers it)";
    return nullptr;
  }
  auto on_bus = std::make_unique<BusConnection>(std::move(connection));
  if (!data_directory.empty()) {
    // The server serves one data directory: another one is not its.
    const HRESULT hr = on_bus->OpenHistory(why);
    if (FAILED(hr)) return nullptr;
    const std::u16string served = on_bus->DataDirectory();
    if (!SameFolder(served, data_directory)) {
      *why = "the server keeps its data in " + platform::Utf16ToUtf8(served) +
             ", not in " + platform::Utf16ToUtf8(data_directory);
      return nullptr;
    }
  }
  return on_bus;
}

}  // namespace qoinfo::tools
