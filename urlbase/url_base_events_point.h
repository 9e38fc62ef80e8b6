// CURLBaseEventsPoint: the connection point for IBromURLBaseEvents inside
// the URL base object (what every such point answers alike:
// URLBaseEventsPointBase).
//
// Each advised sink is held with one reference under its cookie, a number
// from 1 upward that is not reused while the sink is connected. Firing calls
// the sinks one after the other, synchronously, in cookie order, and ignores
// their answers. A sink may advise or unadvise (itself or others) while it
// is being called: a sink unadvised before its turn is skipped. One thread.
#pragma once

#include <map>

#include "com/interfaces.h"
#include "platform/com_base.h"
#include "platform/connection_point.h"
#include "urlbase/url_base_events_point_base.h"

namespace qoinfo {

class CURLBaseEventsPoint final : public URLBaseEventsPointBase {
 public:
  explicit CURLBaseEventsPoint(IConnectionPointContainer* container)
      : URLBaseEventsPointBase(container) {}
  // Releases the sinks still connected.
  ~CURLBaseEventsPoint();

  // The sink must answer IBromURLBaseEvents: CONNECT_E_CANNOTCONNECT
  // otherwise. E_POINTER for a null sink or cookie.
  HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override;
  // CONNECT_E_NOCONNECTION for a cookie that names no connected sink.
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override;

  void FireDataAdded(ULONG index) noexcept;
  void FireDataBeforeRemove(ULONG index) noexcept;

 private:
  template <typename Event>
  void Fire(Event event) noexcept;

  DWORD m_lastCookie = 0;
  std::map<DWORD, IBromURLBaseEvents*> m_sinks;
};

}  // namespace qoinfo
