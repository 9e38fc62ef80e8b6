// URLBaseEventsPointBase: what every connection point for IBromURLBaseEvents
// answers alike, whoever keeps its sinks: QueryInterface for its own
// identity (as COM asks of a connection point), AddRef and Release passed to
// its container (it lives as long as the container), the connection
// interface and container, no enumeration of connections, and the check a
// sink must pass to be advised. Subclasses keep the sinks: Advise, Unadvise.
#pragma once

#include "com/interfaces.h"
#include "platform/com_base.h"
#include "platform/connection_point.h"
#include "urlbase/url_base.h"

namespace qoinfo {

class URLBaseEventsPointBase : public IConnectionPoint {
 public:
  explicit URLBaseEventsPointBase(IConnectionPointContainer* container)
      : m_container(container) {}
  URLBaseEventsPointBase(const URLBaseEventsPointBase&) = delete;
  URLBaseEventsPointBase& operator=(const URLBaseEventsPointBase&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override;
  HRESULT STDMETHODCALLTYPE
  GetConnectionPointContainer(IConnectionPointContainer** container) override;
  // Connections are not enumerated: E_NOTIMPL with a null result.
  HRESULT STDMETHODCALLTYPE
  EnumConnections(IEnumConnections** connections) override;

 protected:
  ~URLBaseEventsPointBase() = default;

  // For Advise: E_POINTER for a null sink or cookie (a cookie is cleared
  // first), CONNECT_E_CANNOTCONNECT for a sink that does not answer
  // IBromURLBaseEvents; otherwise S_OK with one reference in *events.
  static HRESULT SinkToAdvise(IUnknown* sink, DWORD* cookie,
                              IBromURLBaseEvents** events);

  IConnectionPointContainer* const m_container;
};

}  // namespace qoinfo
