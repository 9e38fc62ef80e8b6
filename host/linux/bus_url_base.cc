#include "host/linux/bus_url_base.h"

#include <new>

#include "host/linux/bus_errors.h"
#include "host/linux/bus_names.h"
#include "host/linux/bus_records.h"
#include "com/module_lock.h"
#include "platform/interface_table.h"

namespace qoinfo::bus {
namespace {

const platform::InterfaceEntry<CBusURLBase> kInterfaces[] = {
    {&IID_IBromURLBase,
     [](CBusURLBase* object) -> IUnknown* {
       return static_cast<IBromURLBase*>(object);
     }},
    {&IID_IBromPageTexts,
     [](CBusURLBase* object) -> IUnknown* {
       return static_cast<IBromPageTexts*>(object);
     }},
    {&IID_IConnectionPointContainer,
     [](CBusURLBase* object) -> IUnknown* {
       return static_cast<IConnectionPointContainer*>(object);
     }},
};

// Success codes other than S_OK travel as the reply's first value.
HRESULT SuccessCode(std::int32_t hr) {
  return hr == S_FALSE ? S_FALSE : S_OK;
}

}  // namespace

// --- the connection point ---------------------------------------------------

CBusURLBaseEventsPoint::CBusURLBaseEventsPoint(CBusURLBase* history,
                                               sdbus::IConnection& connection)
    : URLBaseEventsPointBase(history), m_history(history),
      m_connection(connection) {}

CBusURLBaseEventsPoint::~CBusURLBaseEventsPoint() {
  // The service forgets sinks whose process ends; nothing is called here.
  for (auto& [cookie, subscription] : m_subscriptions) {
    subscription.object.reset();
    subscription.sink->Release();
  }
}

HRESULT CBusURLBaseEventsPoint::Advise(IUnknown* sink, DWORD* cookie) {
  IBromURLBaseEvents* events = nullptr;
  const HRESULT checked = SinkToAdvise(sink, cookie, &events);
  if (FAILED(checked)) return checked;
  static std::uint64_t last_sink = 0;
  const std::string path = kEventSinkPathPrefix + std::to_string(++last_sink);
  const HRESULT hr = CallReturningHResult([&]() -> HRESULT {
    auto object = sdbus::createObject(m_connection, path);
    // The connection that answers the Advise below: the history. No call
    // of the object is dispatched before it is known.
    auto history = std::make_shared<std::string>();
    sdbus::IObject* const self = object.get();
    // Only the history tells its events: anyone else on the bus could
    // otherwise drop pages from the index while their visits stay.
    auto check_caller = [self, history] {
      const sdbus::Message* call = self->getCurrentlyProcessedMessage();
      if (call == nullptr || call->getSender() != *history) {
        throw sdbus::Error(kAccessDeniedError,
                           std::string("only the history (") + kURLBaseName +
                               ") tells this sink its events");
      }
    };
    object->registerMethod("OnDataAdded")
        .onInterface(kURLBaseEventsInterface)
        .withInputParamNames("index")
        .withOutputParamNames("hr")
        .implementedAs([events, check_caller](std::uint32_t index) {
          check_caller();
          return std::int32_t{events->OnDataAdded(index)};
        });
    object->registerMethod("OnDataBeforeRemove")
        .onInterface(kURLBaseEventsInterface)
        .withInputParamNames("index")
        .withOutputParamNames("hr")
        .implementedAs([events, check_caller](std::uint32_t index) {
          check_caller();
          return std::int32_t{events->OnDataBeforeRemove(index)};
        });
    object->registerMethod("OnSettingsChanged")
        .onInterface(kURLBaseEventsInterface)
        .withOutputParamNames("hr")
        .implementedAs([events, check_caller]() {
          check_caller();
          return std::int32_t{events->OnSettingsChanged()};
        });
    object->finishRegistration();
    sdbus::MethodCall advise =
        m_history->proxy().createMethodCall(kURLBaseInterface, "Advise");
    advise << sdbus::ObjectPath(path);
    sdbus::MethodReply reply = m_history->proxy().callMethod(advise);
    std::uint32_t service_cookie = 0;
    reply >> service_cookie;
    *history = reply.getSender();
    m_subscriptions.emplace(service_cookie,
                            Subscription{events, std::move(object)});
    *cookie = service_cookie;
    return S_OK;
  });
  if (FAILED(hr)) events->Release();
  return hr;
}

HRESULT CBusURLBaseEventsPoint::Unadvise(DWORD cookie) {
  const auto found = m_subscriptions.find(cookie);
  if (found == m_subscriptions.end()) return CONNECT_E_NOCONNECTION;
  const HRESULT hr = CallReturningHResult([&]() -> HRESULT {
    m_history->proxy().callMethod("Unadvise").onInterface(kURLBaseInterface).withArguments(cookie);
    return S_OK;
  });
  IBromURLBaseEvents* sink = found->second.sink;
  m_subscriptions.erase(found);
  sink->Release();
  return hr;
}

// --- the history ------------------------------------------------------------

CBusURLBase::CBusURLBase(sdbus::IConnection& connection)
    : m_proxy(sdbus::createProxy(connection, kURLBaseName, kURLBasePath)),
      m_events(this, connection) {
  m_proxy->finishRegistration();
}

HRESULT CBusURLBase::Create(sdbus::IConnection& connection, REFIID riid,
                            void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  CBusURLBase* base = nullptr;
  const HRESULT created = CallReturningHResult([&]() -> HRESULT {
    base = new CBusURLBase(connection);
    return S_OK;
  });
  if (FAILED(created)) return created;
  base->AddRef();
  const HRESULT hr = base->QueryInterface(riid, object);
  base->Release();
  return hr;
}

HRESULT CBusURLBase::QueryInterface(REFIID riid, void** object) {
  return platform::QueryInterfaceFromTable(this, kInterfaces, riid, object);
}

ULONG CBusURLBase::AddRef() { return ++m_refCount; }

ULONG CBusURLBase::Release() {
  const ULONG count = --m_refCount;
  if (count == 0) delete this;
  return count;
}

HRESULT CBusURLBase::AddVisit(std::int64_t time, BSTR url, BSTR path,
                              BSTR title, ULONG* index) {
  if (index == nullptr) return E_POINTER;
  return CallReturningHResult([&]() -> HRESULT {
    std::int32_t hr = 0;
    std::uint32_t added = 0;
    m_proxy->callMethod("AddVisit").onInterface(kURLBaseInterface)
        .withArguments(time, TextFromBstr(url), TextFromBstr(path),
                       TextFromBstr(title))
        .storeResultsTo(hr, added);
    *index = added;
    return SuccessCode(hr);
  });
}

HRESULT CBusURLBase::RemoveVisit(ULONG index) {
  return CallReturningHResult([&]() -> HRESULT {
    std::int32_t hr = 0;
    m_proxy->callMethod("RemoveVisit").onInterface(kURLBaseInterface)
        .withArguments(static_cast<std::uint32_t>(index))
        .storeResultsTo(hr);
    return SuccessCode(hr);
  });
}

HRESULT CBusURLBase::Count(ULONG* count) {
  if (count == nullptr) return E_POINTER;
  return CallReturningHResult([&]() -> HRESULT {
    std::uint32_t visits = 0;
    m_proxy->callMethod("Count").onInterface(kURLBaseInterface).storeResultsTo(visits);
    *count = visits;
    return S_OK;
  });
}

HRESULT CBusURLBase::FindVisit(std::int64_t time, BSTR url, ULONG* index) {
  if (index == nullptr) return E_POINTER;
  return CallReturningHResult([&]() -> HRESULT {
    std::int32_t hr = 0;
    std::uint32_t found = 0;
    m_proxy->callMethod("FindVisit").onInterface(kURLBaseInterface)
        .withArguments(time, TextFromBstr(url))
        .storeResultsTo(hr, found);
    *index = found;
    return SuccessCode(hr);
  });
}

HRESULT CBusURLBase::GetData(_URL_DATE_IA_S* data, ULONG index) {
  if (data == nullptr) return E_POINTER;
  return CallReturningHResult([&]() -> HRESULT {
    HitRecord record;
    m_proxy->callMethod("GetData").onInterface(kURLBaseInterface)
        .withArguments(static_cast<std::uint32_t>(index))
        .storeResultsTo(record);
    // Percent is not part of what GetData hands back.
    _URL_DATE_IA_S visit{};
    const HRESULT hr = HitFromRecord(record, &visit);
    if (SUCCEEDED(hr)) {
      data->Time = visit.Time;
      data->Url = visit.Url;
      data->Path = visit.Path;
      data->Title = visit.Title;
    }
    return hr;
  });
}

HRESULT CBusURLBase::NextVisit(ULONG after, ULONG* index) {
  if (index == nullptr) return E_POINTER;
  return CallReturningHResult([&]() -> HRESULT {
    std::int32_t hr = 0;
    std::uint32_t next = 0;
    m_proxy->callMethod("NextVisit").onInterface(kURLBaseInterface)
        .withArguments(static_cast<std::uint32_t>(after))
        .storeResultsTo(hr, next);
    *index = next;
    return SuccessCode(hr);
  });
}

HRESULT CBusURLBase::RemoveAll() {
  return CallReturningHResult([&]() -> HRESULT {
    m_proxy->callMethod("RemoveAll").onInterface(kURLBaseInterface);
    return S_OK;
  });
}

HRESULT CBusURLBase::GetDataDirectory(BSTR* directory) {
  if (directory == nullptr) return E_POINTER;
  *directory = nullptr;
  if (m_directory.empty()) {
    const HRESULT hr = CallReturningHResult([&]() -> HRESULT {
      std::string text;
      m_proxy->callMethod("GetDataDirectory").onInterface(kURLBaseInterface).storeResultsTo(text);
      platform::UniqueBstr units;
      const HRESULT decoded = BstrFromText(text, &units);
      if (SUCCEEDED(decoded)) m_directory = platform::FromBstr(units.get());
      return decoded;
    });
    if (FAILED(hr)) return hr;
  }
  *directory = platform::AllocBstr(m_directory);
  return *directory != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT CBusURLBase::StoreText(std::int64_t time, BSTR url, BSTR text) {
  // Sent without waiting for the answer, which the agent does not read: the
  // filing goes on while the history compresses and writes. The bus keeps
  // the order of one connection's messages, so the text is in before any
  // removal a client asks for after the filing returned.
  return CallReturningHResult([&]() -> HRESULT {
    m_proxy->callMethod("StoreText").onInterface(kPageTextsInterface)
        .withArguments(time, TextFromBstr(url), TextFromBstr(text))
        .dontExpectReply();
    return S_OK;
  });
}

HRESULT CBusURLBase::GetText(std::int64_t time, BSTR url, BSTR* text) {
  if (text == nullptr) return E_POINTER;
  *text = nullptr;
  return CallReturningHResult([&]() -> HRESULT {
    std::int32_t hr = 0;
    std::string kept;
    m_proxy->callMethod("GetText").onInterface(kPageTextsInterface)
        .withArguments(time, TextFromBstr(url))
        .storeResultsTo(hr, kept);
    if (SuccessCode(hr) != S_OK) return S_FALSE;
    platform::UniqueBstr units;
    const HRESULT decoded = BstrFromText(kept, &units);
    if (FAILED(decoded)) return decoded;
    *text = units.release();
    return S_OK;
  });
}

HRESULT CBusURLBase::SetKeepTexts(LONG keep) {
  return CallReturningHResult([&]() -> HRESULT {
    m_proxy->callMethod("SetKeepTexts").onInterface(kPageTextsInterface)
        .withArguments(keep != 0);
    return S_OK;
  });
}

HRESULT CBusURLBase::GetTextTotals(LONG* keep, ULONG* count,
                                   std::int64_t* bytes) {
  if (keep == nullptr || count == nullptr || bytes == nullptr) {
    return E_POINTER;
  }
  return CallReturningHResult([&]() -> HRESULT {
    bool keeps = false;
    std::uint32_t kept = 0;
    std::int64_t packed = 0;
    m_proxy->callMethod("GetTextTotals").onInterface(kPageTextsInterface)
        .storeResultsTo(keeps, kept, packed);
    *keep = keeps ? 1 : 0;
    *count = kept;
    *bytes = packed;
    return S_OK;
  });
}

HRESULT CBusURLBase::EnumConnectionPoints(IEnumConnectionPoints** points) {
  if (points != nullptr) *points = nullptr;
  return E_NOTIMPL;
}

HRESULT CBusURLBase::FindConnectionPoint(REFIID riid,
                                         IConnectionPoint** point) {
  if (point == nullptr) return E_POINTER;
  *point = nullptr;
  if (!IsEqualGUID(riid, IID_IBromURLBaseEvents)) return CONNECT_E_NOCONNECTION;
  m_events.AddRef();
  *point = &m_events;
  return S_OK;
}

// --- the class object -------------------------------------------------------

namespace {

class CBusURLBaseClassObject final : public IClassFactory {
 public:
  explicit CBusURLBaseClassObject(sdbus::IConnection& connection)
      : m_connection(connection) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid,
                                           void** object) override {
    static const platform::InterfaceEntry<CBusURLBaseClassObject> kTable[] = {
        {&IID_IClassFactory, [](CBusURLBaseClassObject* factory) -> IUnknown* {
           return static_cast<IClassFactory*>(factory);
         }}};
    return platform::QueryInterfaceFromTable(this, kTable, riid, object);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refCount; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG count = --m_refCount;
    if (count == 0) delete this;
    return count;
  }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid,
                                           void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    return CBusURLBase::Create(m_connection, riid, object);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    ChangeServerLock(lock != 0);
    return S_OK;
  }

 private:
  ~CBusURLBaseClassObject() = default;

  std::atomic<ULONG> m_refCount{1};
  sdbus::IConnection& m_connection;
};

}  // namespace

IClassFactory* NewBusURLBaseClassObject(sdbus::IConnection& connection) {
  return new (std::nothrow) CBusURLBaseClassObject(connection);
}

}  // namespace qoinfo::bus
