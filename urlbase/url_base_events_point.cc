#include "urlbase/url_base_events_point.h"

namespace qoinfo {

CURLBaseEventsPoint::~CURLBaseEventsPoint() {
  std::map<DWORD, IBromURLBaseEvents*> sinks;
  sinks.swap(m_sinks);
  for (const auto& [cookie, sink] : sinks) sink->Release();
}

HRESULT CURLBaseEventsPoint::Advise(IUnknown* sink, DWORD* cookie) {
  IBromURLBaseEvents* events = nullptr;
  const HRESULT checked = SinkToAdvise(sink, cookie, &events);
  if (FAILED(checked)) return checked;
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
