#include "host/linux/bus_agent_proxy.h"

#include <new>
#include <vector>

#include "host/linux/bus_errors.h"
#include "host/linux/bus_names.h"
#include "agent/page_snippet.h"
#include "platform/interface_table.h"
#include "platform/wide_string.h"

namespace qoinfo::bus {
namespace {

// How many hits one NextBatch call asks for.
constexpr std::uint32_t kBatchSize = 256;

// Answers E_NOTIMPL for the IDispatch slots of a proxy.
#define QOINFO_NO_DISPATCH(Class)                                              \
  HRESULT Class::GetTypeInfoCount(UINT* count) {                               \
    if (count != nullptr) *count = 0;                                          \
    return E_NOTIMPL;                                                          \
  }                                                                            \
  HRESULT Class::GetTypeInfo(UINT, LCID, ITypeInfo** info) {                   \
    if (info != nullptr) *info = nullptr;                                      \
    return E_NOTIMPL;                                                          \
  }                                                                            \
  HRESULT Class::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {       \
    return E_NOTIMPL;                                                          \
  }                                                                            \
  HRESULT Class::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*,     \
                        EXCEPINFO*, UINT*) {                                   \
    return E_NOTIMPL;                                                          \
  }

// One search's hits on the server, read a batch at a time.
class CBusSearchDataEnumerator final : public ISearchDataEnumerator {
 public:
  CBusSearchDataEnumerator(sdbus::IConnection& connection,
                           const std::string& path)
      : m_proxy(sdbus::createProxy(connection, kAgentName, path)) {
    m_proxy->finishRegistration();
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid,
                                           void** object) override {
    static const platform::InterfaceEntry<CBusSearchDataEnumerator> kTable[] = {
        {&IID_ISearchDataEnumerator,
         [](CBusSearchDataEnumerator* e) -> IUnknown* {
           return static_cast<ISearchDataEnumerator*>(e);
         }},
        {&IID_IDispatch, [](CBusSearchDataEnumerator* e) -> IUnknown* {
           return static_cast<IDispatch*>(e);
         }}};
    return platform::QueryInterfaceFromTable(this, kTable, riid, object);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refCount; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG count = --m_refCount;
    if (count == 0) delete this;
    return count;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale,
                                        ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names,
                                          UINT count, LCID locale,
                                          DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID locale,
                                   WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* exception,
                                   UINT* arg_error) override;

  HRESULT STDMETHODCALLTYPE Next(_URL_DATE_IA_S* data) override {
    if (data == nullptr) return E_POINTER;
    if (m_batch.empty() && !m_atEnd) {
      const HRESULT hr = CallReturningHResult([&]() -> HRESULT {
        std::vector<HitRecord> batch;
        m_proxy->callMethod("NextBatch").onInterface(kEnumeratorInterface).withArguments(kBatchSize).storeResultsTo(batch);
        // A batch may hold fewer hits than asked for (the server caps its
        // bytes): only an empty one is the end.
        m_atEnd = batch.empty();
        m_batch.assign(batch.begin(), batch.end());
        return S_OK;
      });
      if (FAILED(hr)) return hr;
    }
    if (m_batch.empty()) return S_FALSE;
    const HRESULT hr = HitFromRecord(m_batch.front(), data);
    if (SUCCEEDED(hr)) m_batch.pop_front();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE Reset() override {
    m_batch.clear();
    m_atEnd = false;
    return CallReturningHResult([&]() -> HRESULT {
      m_proxy->callMethod("Reset").onInterface(kEnumeratorInterface);
      return S_OK;
    });
  }
  HRESULT STDMETHODCALLTYPE Count() override {
    return CallReturningHResult([&]() -> HRESULT {
      m_proxy->callMethod("Count").onInterface(kEnumeratorInterface);
      return S_OK;
    });
  }
  HRESULT STDMETHODCALLTYPE GetThis(std::int64_t* self) override {
    if (self == nullptr) return E_POINTER;
    return CallReturningHResult([&]() -> HRESULT {
      m_proxy->callMethod("GetThis").onInterface(kEnumeratorInterface).storeResultsTo(*self);
      return S_OK;
    });
  }

 private:
  ~CBusSearchDataEnumerator() {
    CallReturningHResult([&]() -> HRESULT {
      m_proxy->callMethod("Release").onInterface(kEnumeratorInterface);
      return S_OK;
    });
  }

  std::atomic<ULONG> m_refCount{1};
  std::unique_ptr<sdbus::IProxy> m_proxy;
  std::deque<HitRecord> m_batch;
  bool m_atEnd = false;
};

QOINFO_NO_DISPATCH(CBusSearchDataEnumerator)

}  // namespace

QOINFO_NO_DISPATCH(CBusAgent)

CBusAgent::CBusAgent(sdbus::IConnection& connection)
    : m_connection(connection),
      m_proxy(sdbus::createProxy(connection, kAgentName, kAgentPath)) {
  m_proxy->finishRegistration();
}

HRESULT CBusAgent::Create(sdbus::IConnection& connection, CBusAgent** agent) {
  if (agent == nullptr) return E_POINTER;
  *agent = nullptr;
  return CallReturningHResult([&]() -> HRESULT {
    *agent = new CBusAgent(connection);
    return S_OK;
  });
}

HRESULT CBusAgent::QueryInterface(REFIID riid, void** object) {
  static const platform::InterfaceEntry<CBusAgent> kTable[] = {
      {&IID_IZuInfoAgent,
       [](CBusAgent* agent) -> IUnknown* {
         return static_cast<IZuInfoAgent*>(agent);
       }},
      {&IID_IDispatch,
       [](CBusAgent* agent) -> IUnknown* {
         return static_cast<IDispatch*>(agent);
       }},
      {&IID_IFind, [](CBusAgent* agent) -> IUnknown* {
         return static_cast<IFind*>(agent);
       }}};
  return platform::QueryInterfaceFromTable(this, kTable, riid, object);
}

ULONG CBusAgent::AddRef() { return ++m_refCount; }

ULONG CBusAgent::Release() {
  const ULONG count = --m_refCount;
  if (count == 0) delete this;
  return count;
}

HRESULT CBusAgent::AddData(_URL_DATE_IA data) {
  return CallReturningHResult([&]() -> HRESULT {
    m_proxy->callMethod("AddData")
        .onInterface(kAgentInterface)
        .withArguments(RecordFromPage(data));
    return S_OK;
  });
}

HRESULT CBusAgent::Search(BSTR what, ISearchDataEnumerator** result) {
  if (result == nullptr) return E_POINTER;
  *result = nullptr;
  return CallReturningHResult([&]() -> HRESULT {
    sdbus::ObjectPath path;
    m_proxy->callMethod("Search")
        .onInterface(kAgentInterface)
        .withArguments(TextFromBstr(what))
        .storeResultsTo(path);
    *result = new CBusSearchDataEnumerator(m_connection, path);
    return S_OK;
  });
}

HRESULT CBusAgent::Find(BSTR query, ULONG options, IUnknown** result) {
  if (result == nullptr) return E_POINTER;
  *result = nullptr;
  return CallReturningHResult([&]() -> HRESULT {
    sdbus::ObjectPath path;
    m_proxy->callMethod("Find")
        .onInterface(kFindInterface)
        .withArguments(TextFromBstr(query), std::uint32_t{options})
        .storeResultsTo(path);
    *result = static_cast<ISearchDataEnumerator*>(
        new CBusSearchDataEnumerator(m_connection, path));
    return S_OK;
  });
}

HRESULT CBusAgent::Snippets(
    const std::u16string& query, std::uint32_t options,
    const std::vector<PageKeyRecord>& pages,
    std::vector<std::optional<qoinfo::Snippet>>* snippets) {
  snippets->clear();
  return CallReturningHResult([&]() -> HRESULT {
    const platform::UniqueBstr what(platform::AllocBstr(query));
    if (!what) return E_OUTOFMEMORY;
    std::vector<SnippetRecord> records;
    m_proxy->callMethod("Snippets")
        .onInterface(kFindInterface)
        .withArguments(TextFromBstr(what.get()), options, pages)
        .storeResultsTo(records);
    if (records.size() != pages.size()) return E_UNEXPECTED;
    for (const SnippetRecord& record : records) {
      std::optional<qoinfo::Snippet> snippet;
      const HRESULT hr = SnippetFromRecord(record, &snippet);
      if (FAILED(hr)) return hr;
      snippets->push_back(std::move(snippet));
    }
    return S_OK;
  });
}

HRESULT CBusAgent::Snippet(BSTR query, ULONG options, std::int64_t time,
                           BSTR url, BSTR* text, BSTR* marks, ULONG* flags) {
  if (text == nullptr || marks == nullptr || flags == nullptr) return E_POINTER;
  *text = nullptr;
  *marks = nullptr;
  *flags = 0;
  std::vector<std::optional<qoinfo::Snippet>> snippets;
  const HRESULT hr =
      Snippets(platform::FromOleString(query), options,
               {PageKeyRecord(time, TextFromBstr(url))}, &snippets);
  if (FAILED(hr)) return hr;
  return SnippetToCom(snippets.front(), text, marks, flags);
}

HRESULT CBusAgent::HasPage(std::int64_t time, BSTR url, bool* indexed) {
  return CallReturningHResult([&]() -> HRESULT {
    m_proxy->callMethod("HasPage")
        .onInterface(kIndexInfoInterface)
        .withArguments(time, TextFromBstr(url))
        .storeResultsTo(*indexed);
    return S_OK;
  });
}

HRESULT CBusAgent::Counts(std::uint64_t* pages, std::int64_t* last_page_id,
                          std::uint64_t* words, std::uint64_t* postings) {
  return CallReturningHResult([&]() -> HRESULT {
    m_proxy->callMethod("Counts")
        .onInterface(kIndexInfoInterface)
        .storeResultsTo(*pages, *last_page_id, *words, *postings);
    return S_OK;
  });
}

}  // namespace qoinfo::bus
