#include "urlbase/url_base_events_point.h"

#include "platform/interface_table.h"

namespace qoinfo {
namespace {

const platform::InterfaceEntry<CURLBaseEventsPoint> kInterfaces[] = {
    {&IID_IConnectionPoint,
     [](CURLBaseEventsPoint* point) -> IUnknown* {
       return static_cast<IConnectionPoint*>(point);
     }},
};

}  // namespace

CURLBaseEventsPoint::~CURLBaseEventsPoint() {
  std::map<DWORD, IBromURLBaseEvents*> sinks;
  sinks.swap(m_sinks);
  for (const auto& [cookie, sink] : sinks) sink->Release();
}

HRESULT CURLBaseEventsPoint::QueryInterface(REFIID riid, void** object) {
  return platform::QueryInterfaceFromTable(this, kInterfaces, riid, object);
}

ULONG CURLBaseEventsPoint::AddRef() { return m_container->AddRef(); }

ULONG CURLBaseEventsPoint::Release() { return m_container->Release(); }

HRESULT CURLBaseEventsPoint::GetConnectionInterface(IID* iid) {
  if (iid == nullptr) return E_POINTER;
  *iid = IID_IBromURLBaseEvents;
  return S_OK;
}

HRESULT CURLBaseEventsPoint::GetConnectionPointContainer(
    IConnectionPointContainer** container) {
  if (container == nullptr) return E_POINTER;
  m_container->AddRef();
  *container = m_container;
  return S_OK;
}

HRESULT CURLBaseEventsPoint::Advise(IUnknown* sink, DWORD* cookie) {
  if (cookie == nullptr) return E_POINTER;
  *cookie = 0;
  if (sink == nullptr) return E_POINTER;
  IBromURLBaseEvents* events = nullptr;
  if (FAILED(sink->QueryInterface(IID_IBromURLBaseEvents,
                                  reinterpret_cast<void**>(&events))) ||
      events == nullptr) {
    return CONNECT_E_CANNOTCONNECT;
  }
  // The next free number after the last one issued; 0 is never a cookie.
  DWORD next = m_lastCookie;
  do {
    ++next;
  } while (next == 0 || m_sinks.count(next) != 0);
  try {
    m_sinks.emplace(next, events);
  } catch (...) {
    events->Release();
    return E_OUTOFMEMORY;
  }
  m_lastCookie = next;
  *cookie = next;
  return S_OK;
}

HRESULT CURLBaseEventsPoint::Unadvise(DWORD cookie) {
  const auto found = m_sinks.find(cookie);
  if (found == m_sinks.end()) return CONNECT_E_NOCONNECTION;
  IBromURLBaseEvents* sink = found->second;
  m_sinks.erase(found);
  // Last: the release may call back into this object.
  sink->Release();
  return S_OK;
}

HRESULT CURLBaseEventsPoint::EnumConnections(IEnumConnections** connections) {
  if (connections == nullptr) return E_POINTER;
  *connections = nullptr;
  return E_NOTIMPL;
}

template <typename Event>
void CURLBaseEventsPoint::Fire(Event event) noexcept {
  // Found again by cookie after each call, since the call may change the
  // map; sinks advised meanwhile with higher cookies are called too.
  for (auto next = m_sinks.begin(); next != m_sinks.end();) {
    const DWORD cookie = next->first;
    IBromURLBaseEvents* sink = next->second;
    sink->AddRef();
    event(sink);
    sink->Release();
    next = m_sinks.upper_bound(cookie);
  }
}

void CURLBaseEventsPoint::FireDataAdded(ULONG index) noexcept {
  Fire([index](IBromURLBaseEvents* sink) { sink->OnDataAdded(index); });
}

void CURLBaseEventsPoint::FireDataBeforeRemove(ULONG index) noexcept {
  Fire([index](IBromURLBaseEvents* sink) { sink->OnDataBeforeRemove(index); });
}

}  // namespace qoinfo
