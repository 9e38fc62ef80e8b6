#include "urlbase/url_base_events_point_base.h"

#include "platform/interface_table.h"

namespace qoinfo {
namespace {

const platform::InterfaceEntry<URLBaseEventsPointBase> kInterfaces[] = {
    {&IID_IConnectionPoint,
     [](URLBaseEventsPointBase* point) -> IUnknown* {
       return static_cast<IConnectionPoint*>(point);
     }},
};

}  // namespace

HRESULT URLBaseEventsPointBase::QueryInterface(REFIID riid, void** object) {
  return platform::QueryInterfaceFromTable(this, kInterfaces, riid, object);
}

ULONG URLBaseEventsPointBase::AddRef() { return m_container->AddRef(); }

ULONG URLBaseEventsPointBase::Release() { return m_container->Release(); }

HRESULT URLBaseEventsPointBase::GetConnectionInterface(IID* iid) {
  if (iid == nullptr) return E_POINTER;
  *iid = IID_IBromURLBaseEvents;
  return S_OK;
}

HRESULT URLBaseEventsPointBase::GetConnectionPointContainer(
    IConnectionPointContainer** container) {
  if (container == nullptr) return E_POINTER;
  m_container->AddRef();
  *container = m_container;
  return S_OK;
}

HRESULT URLBaseEventsPointBase::EnumConnections(
    IEnumConnections** connections) {
  if (connections == nullptr) return E_POINTER;
  *connections = nullptr;
  return E_NOTIMPL;
}

HRESULT URLBaseEventsPointBase::SinkToAdvise(IUnknown* sink, DWORD* cookie,
                                             IBromURLBaseEvents** events) {
  *events = nullptr;
  if (cookie == nullptr) return E_POINTER;
  *cookie = 0;
  if (sink == nullptr) return E_POINTER;
  if (FAILED(sink->QueryInterface(IID_IBromURLBaseEvents,
                                  reinterpret_cast<void**>(events))) ||
      *events == nullptr) {
    *events = nullptr;
    return CONNECT_E_CANNOTCONNECT;
  }
  return S_OK;
}

}  // namespace qoinfo
