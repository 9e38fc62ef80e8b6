// CURLBaseEventsPoint: the connection point for IBromURLBaseEvents inside
// the URL base object. It is part of its container and lives as long as it:
// AddRef and Release go to the container, while QueryInterface answers for
// the point itself (its own identity, as COM asks of a connection point).
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

namespace qoinfo {

class CURLBaseEventsPoint final : public IConnectionPoint {
 public:
  explicit CURLBaseEventsPoint(IConnectionPointContainer* container)
      : m_container(container) {}
  // Releases the sinks still connected.
  ~CURLBaseEventsPoint();
  CURLBaseEventsPoint(const CURLBaseEventsPoint&) = delete;
  CURLBaseEventsPoint& operator=(const CURLBaseEventsPoint&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IConnectionPoint.
  HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override;
  HRESULT STDMETHODCALLTYPE
  GetConnectionPointContainer(IConnectionPointContainer** container) override;
  // The sink must answer IBromURLBaseEvents: CONNECT_E_CANNOTCONNECT
  // otherwise. E_POINTER for a null sink or cookie.
  HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override;
  // CONNECT_E_NOCONNECTION for a cookie that names no connected sink.
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override;
  // Connections are not enumerated: E_NOTIMPL with a null result.
  HRESULT STDMETHODCALLTYPE
  EnumConnections(IEnumConnections** connections) override;

  void FireDataAdded(ULONG index) noexcept;
  void FireDataBeforeRemove(ULONG index) noexcept;

 private:
  template <typename Event>
  void Fire(Event event) noexcept;

  IConnectionPointContainer* const m_container;
  DWORD m_lastCookie = 0;
  std::map<DWORD, IBromURLBaseEvents*> m_sinks;
};

}  // namespace qoinfo
