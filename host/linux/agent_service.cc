#include "host/linux/agent_service.h"

#include "agent/page_snippet.h"
#include "agent/zu_info_agent.h"
#include "index/index_files.h"
#include "platform/hresult_error.h"

#include <tuple>

#include "agent/zu_info_agent.h"
#include "platform/hresult_error.h"
#include "host/linux/bus_errors.h"
#include "host/linux/bus_names.h"
#include "host/linux/bus_records.h"
#include "com/module_lock.h"
#include "index/time_url_container.h"
#include "host/linux/server_log.h"
#include "platform/class_objects.h"
#include "platform/data_directory.h"
#include "platform/file_system.h"
#include "platform/utf8.h"
#include "urlbase/url_base.h"

namespace qoinfo::bus {
namespace {

[[noreturn]] void Fail(HRESULT hr) {
  throw ErrorFromHResult(kAgentErrorPrefix, hr);
}

}  // namespace

AgentService::AgentService(sdbus::IConnection& connection, BusLoop& loop)
    : m_connection(connection), m_loop(loop), m_enumerators(connection, loop) {}

AgentService::~AgentService() { Stop(); }

HRESULT AgentService::StartAgent(std::string* why) {
  platform::ComPtr<IBromURLBase> history;
  m_startResult = CoCreateInstance(CLSID_BromURLBase, nullptr, CLSCTX_ALL,
                                   IID_IBromURLBase, history.out_void());
  if (FAILED(m_startResult)) {
    *why = "cannot reach the history service";
    return m_startResult;
  }
  const std::u16string directory = DataDirectoryOf(history.get());
  history.Reset();
  if (directory.empty()) {
    *why = "the history service names no data directory";
    return m_startResult = E_FAIL;
  }
  m_startResult = platform::FileLock::Acquire(
      IndexFilePath(directory, IndexFile::kLock), kLockWaitMs,
      &m_lock);
  if (FAILED(m_startResult)) {
    *why = "the index in " + platform::Utf16ToUtf8(directory) +
           " stayed in use by another process (agent.lock)";
    return m_startResult;
  }
  m_factory = platform::ComPtr<CZuInfoAgentFactory>(CZuInfoAgentFactory::New());
  if (m_factory.get() == nullptr) {
    *why = "out of memory";
    return m_startResult = E_OUTOFMEMORY;
  }
  m_startResult =
      m_factory->CreateInstance(nullptr, IID_IZuInfoAgent, m_agent.out_void());
  if (FAILED(m_startResult)) {
    *why = "the agent could not start; the index files in " +
           platform::Utf16ToUtf8(directory) + " could not be loaded";
    m_lock.reset();
    return m_startResult;
  }
  // Said once, at the start: the pages of the history are the person's.
  const std::u16string open = platform::FolderOpenToOthers(directory);
  if (!open.empty()) {
    Log("qoinfoagent: warning: the data directory " +
        platform::Utf16ToUtf8(directory) +
        " can be read by other users: " + platform::Utf16ToUtf8(open));
  }
  ScheduleIdleCheckpoint();
  return m_startResult;
}

void AgentService::ScheduleIdleCheckpoint() {
  // Changes wait in the journal; once the agent has been quiet a while the
  // index is saved, so that a start-up after a crash has little to replay.
  m_loop.After(kCheckpointPoll, [this] {
    if (m_agent.get() == nullptr) return;
    static_cast<CZuInfoAgent*>(m_agent.get())->CheckpointIfIdle();
    ScheduleIdleCheckpoint();
  });
}

IZuInfoAgent& AgentService::Agent() {
  if (m_agent.get() == nullptr) Fail(m_startResult);
  return *m_agent.get();
}

void AgentService::RefuseArgument(const std::string& why) {
  throw sdbus::Error(std::string(kAgentErrorPrefix) + "E_INVALIDARG",
                     platform::HResultCodeText(E_INVALIDARG) + ": " + why);
}

void AgentService::RefuseAtEnumeratorLimit(const std::string& owner) const {
  if (!m_enumerators.AtLimit(owner)) return;
  throw sdbus::Error(std::string(kAgentErrorPrefix) + "E_OUTOFMEMORY",
                     platform::HResultCodeText(E_OUTOFMEMORY) +
                         ": this connection holds " +
                         std::to_string(EnumeratorObjects::kMaxPerOwner) +
                         " enumerators already; release some first");
}

IFind& AgentService::FindOf(IZuInfoAgent& agent) {
  return static_cast<CZuInfoAgent&>(agent);
}

void AgentService::Export() {
  m_object = sdbus::createObject(m_connection, kAgentPath);
  m_object->registerMethod("AddData")
      .onInterface(kAgentInterface)
      .withInputParamNames("data")
      .implementedAs([this](const PageRecord& record) {
        Guarded(kAgentErrorPrefix, [&] {
          ModuleLockHolder busy;
          ReceivedPage page;
          HRESULT hr = PageFromRecord(record, &page);
          if (SUCCEEDED(hr)) hr = Agent().AddData(page.View());
          if (FAILED(hr)) Fail(hr);
        });
      });
  m_object->registerMethod("Search")
      .onInterface(kAgentInterface)
      .withInputParamNames("what")
      .withOutputParamNames("result")
      .implementedAs([this](const std::string& what) {
        return Guarded(kAgentErrorPrefix, [&] {
          ModuleLockHolder busy;
          const std::string owner =
              m_object->getCurrentlyProcessedMessage()->getSender();
          RefuseAtEnumeratorLimit(owner);
          platform::UniqueBstr query;
          HRESULT hr = BstrFromText(what, &query);
          platform::ComPtr<ISearchDataEnumerator> hits;
          if (SUCCEEDED(hr)) hr = Agent().Search(query.get(), hits.out());
          if (FAILED(hr)) Fail(hr);
          return sdbus::ObjectPath(m_enumerators.Add(std::move(hits), owner));
        });
      });
  m_object->registerMethod("Find")
      .onInterface(kFindInterface)
      .withInputParamNames("query", "options")
      .withOutputParamNames("result")
      .implementedAs([this](const std::string& query, std::uint32_t options) {
        return Guarded(kAgentErrorPrefix, [&] {
          ModuleLockHolder busy;
          const std::string owner =
              m_object->getCurrentlyProcessedMessage()->getSender();
          RefuseAtEnumeratorLimit(owner);
          platform::UniqueBstr text;
          HRESULT hr = BstrFromText(query, &text);
          platform::ComPtr<IUnknown> found;
          platform::ComPtr<ISearchDataEnumerator> hits;
          if (SUCCEEDED(hr))
            hr = FindOf(Agent()).Find(text.get(), options, found.out());
          if (SUCCEEDED(hr))
            hr = found->QueryInterface(IID_ISearchDataEnumerator,
                                       hits.out_void());
          if (FAILED(hr)) Fail(hr);
          return sdbus::ObjectPath(m_enumerators.Add(std::move(hits), owner));
        });
      });
  m_object->registerMethod("Snippets")
      .onInterface(kFindInterface)
      .withInputParamNames("query", "options", "pages")
      .withOutputParamNames("snippets")
      .implementedAs([this](const std::string& query, std::uint32_t options,
                            const std::vector<PageKeyRecord>& pages) {
        return Guarded(kAgentErrorPrefix, [&] {
          ModuleLockHolder busy;
          auto& agent = static_cast<CZuInfoAgent&>(Agent());
          FindOptions find;
          if (!FindOptionsFromBits(options, &find))
            RefuseArgument("options has a bit nobody knows");
          if (pages.size() > kMaxSnippetPages) {
            RefuseArgument("at most " + std::to_string(kMaxSnippetPages) +
                           " pages a call");
          }
          platform::UniqueBstr text;
          HRESULT hr = BstrFromText(query, &text);
          std::vector<SnippetRecord> snippets;
          for (std::size_t i = 0; SUCCEEDED(hr) && i < pages.size(); ++i) {
            platform::UniqueBstr url;
            hr = BstrFromText(pages[i].get<1>(), &url);
            if (FAILED(hr)) break;
            snippets.push_back(RecordFromSnippet(SnippetOfPage(
                agent.PageTexts(), pages[i].get<0>(),
                platform::FromOleString(url.get()),
                platform::FromOleString(text.get()), find)));
          }
          if (FAILED(hr)) Fail(hr);
          return snippets;
        });
      });
  m_object->registerMethod("HasPage")
      .onInterface(kIndexInfoInterface)
      .withInputParamNames("time", "url")
      .withOutputParamNames("indexed")
      .implementedAs([this](std::int64_t time, const std::string& url) {
        return Guarded(kAgentErrorPrefix, [&] {
          const auto& agent = static_cast<const CZuInfoAgent&>(Agent());
          platform::UniqueBstr text;
          const HRESULT hr = BstrFromText(url, &text);
          if (FAILED(hr)) Fail(hr);
          const CTimeURLContainer visit(time, platform::FromBstr(text.get()),
                                        std::u16string(), std::u16string());
          return agent.Records().FindRecord(visit) >= 1;
        });
      });
  m_object->registerMethod("Counts")
      .onInterface(kIndexInfoInterface)
      .withOutputParamNames("pages", "last_page_id", "words", "postings")
      .implementedAs([this]() {
        return Guarded(kAgentErrorPrefix, [&] {
          const auto& agent = static_cast<const CZuInfoAgent&>(Agent());
          return std::make_tuple(
              static_cast<std::uint64_t>(agent.Records().RecordCount()),
              static_cast<std::int64_t>(agent.Records().lastId()),
              static_cast<std::uint64_t>(agent.Words().WordCount()),
              agent.Words().PostingCount());
        });
      });
  m_object->finishRegistration();
}

HRESULT AgentService::Stop() {
  m_enumerators.Clear();
  m_object.reset();
  const bool ran = m_agent.get() != nullptr;
  m_agent.Reset();
  HRESULT saved = S_FALSE;
  if (m_factory.get() != nullptr) {
    m_factory->ReleaseInstance();
    if (ran) saved = LastShutdownSaveResult();
    m_factory.Reset();
  }
  m_lock.reset();
  return saved;
}

}  // namespace qoinfo::bus
