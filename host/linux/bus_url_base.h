// CBusURLBase: the history service (BromHelper.URLBase) seen from another
// process, as the IBromURLBase object the agent expects. Each method is one
// synchronous call on the connection; failures come back as the service's
// HRESULTs (bus_errors.h). The data directory is asked once and kept, so
// that the agent can still save its index after the bus went away.
//
// Its connection point exports each advised sink as a D-Bus object
// (/QoInfoAgent/URLBaseEvents/<n>, BromHelper.IBromURLBaseEvents) and
// advises that path at the service; the service's event calls arrive there
// and are passed on to the sink. Calls from any other connection than the
// one that took the subscription are refused (AccessDenied).
//
// Its IBromPageTexts calls BromHelper.IBromPageTexts on the same object;
// StoreText does not wait for the answer (S_OK once sent).
// The agent calls it while filing a page, and the history may at that very
// moment be waiting on the agent's sink for a removal: the service keeps
// serving calls while it waits (as for GetData), so the call is answered.
//
// A COM object with an atomic count. Used on the thread that serves its
// connection; the connection must outlive it.
#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <string>

#include <sdbus-c++/IConnection.h>
#include <sdbus-c++/IObject.h>
#include <sdbus-c++/IProxy.h>

#include "platform/class_objects.h"
#include "platform/com_base.h"
#include "platform/connection_point.h"
#include "urlbase/page_texts.h"
#include "urlbase/url_base.h"
#include "urlbase/url_base_events_point_base.h"

namespace qoinfo::bus {

class CBusURLBase;

class CBusURLBaseEventsPoint final : public URLBaseEventsPointBase {
 public:
  CBusURLBaseEventsPoint(CBusURLBase* history, sdbus::IConnection& connection);
  ~CBusURLBaseEventsPoint();

  HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override;
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override;

 private:
  struct Subscription {
    IBromURLBaseEvents* sink;  // one reference
    std::unique_ptr<sdbus::IObject> object;
  };

  CBusURLBase* const m_history;
  sdbus::IConnection& m_connection;
  std::map<DWORD, Subscription> m_subscriptions;  // by the service's cookie
};

class CBusURLBase final : public IBromURLBase,
                          public IBromPageTexts,
                          public IConnectionPointContainer {
 public:
  // A proxy of the service on `connection` (activating it when needed).
  static HRESULT Create(sdbus::IConnection& connection, REFIID riid,
                        void** object);

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  HRESULT STDMETHODCALLTYPE AddVisit(std::int64_t time, BSTR url, BSTR path,
                                     BSTR title, ULONG* index) override;
  HRESULT STDMETHODCALLTYPE RemoveVisit(ULONG index) override;
  HRESULT STDMETHODCALLTYPE Count(ULONG* count) override;
  HRESULT STDMETHODCALLTYPE FindVisit(std::int64_t time, BSTR url,
                                      ULONG* index) override;
  HRESULT STDMETHODCALLTYPE GetData(_URL_DATE_IA_S* data, ULONG index) override;
  HRESULT STDMETHODCALLTYPE NextVisit(ULONG after, ULONG* index) override;
  HRESULT STDMETHODCALLTYPE RemoveAll() override;
  HRESULT STDMETHODCALLTYPE GetDataDirectory(BSTR* directory) override;

  HRESULT STDMETHODCALLTYPE StoreText(std::int64_t time, BSTR url,
                                      BSTR text) override;
  HRESULT STDMETHODCALLTYPE GetText(std::int64_t time, BSTR url,
                                    BSTR* text) override;
  HRESULT STDMETHODCALLTYPE SetKeepTexts(LONG keep) override;
  HRESULT STDMETHODCALLTYPE GetTextTotals(LONG* keep, ULONG* count,
                                          std::int64_t* bytes) override;

  HRESULT STDMETHODCALLTYPE
  EnumConnectionPoints(IEnumConnectionPoints** points) override;
  HRESULT STDMETHODCALLTYPE
  FindConnectionPoint(REFIID riid, IConnectionPoint** point) override;

  sdbus::IProxy& proxy() { return *m_proxy; }

 private:
  explicit CBusURLBase(sdbus::IConnection& connection);
  ~CBusURLBase() = default;

  std::atomic<ULONG> m_refCount{0};
  std::unique_ptr<sdbus::IProxy> m_proxy;
  std::u16string m_directory;  // empty until asked
  CBusURLBaseEventsPoint m_events;
};

// The class object a server registers for CLSID_BromURLBase, so that the
// agent's CoCreateInstance reaches the history service through a new
// CBusURLBase on `connection`.
IClassFactory* NewBusURLBaseClassObject(sdbus::IConnection& connection);

}  // namespace qoinfo::bus
