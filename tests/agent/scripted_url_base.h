// A URL base object whose answers a test scripts: the data directory (one
// per call, the last repeated), visits for GetData, and how its connection
// point answers Advise and Unadvise. It keeps advised sinks and fires events
// at them on request, as the history component would.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/connection_point.h"
#include "platform/interface_table.h"
#include "platform/wide_string.h"
#include "urlbase/url_base.h"

namespace qoinfo::testing {

class ScriptedURLBase final : public IBromURLBase,
                              public IConnectionPointContainer,
                              public IConnectionPoint {
 public:
  struct Visit {
    std::int64_t time = 0;
    std::u16string url, path, title;
    bool null_strings = false;  // GetData hands out null BSTRs
  };

  // The directories GetDataDirectory names, call by call; an empty entry
  // hands out a null BSTR.
  std::vector<std::u16string> directories;
  int directory_calls = 0;
  // Called inside every GetDataDirectory, as a call arriving while the
  // caller waits would be.
  std::function<void()> during_directory_call;
  // What GetDataDirectory answers (a failure hands out no directory).
  HRESULT directory_result = S_OK;
  std::map<ULONG, Visit> visits;
  // Called inside every GetData before it answers, likewise.
  std::function<void()> during_get_data;
  HRESULT get_data_result = S_OK;
  HRESULT advise_result = S_OK;
  HRESULT unadvise_result = S_OK;
  std::map<DWORD, IBromURLBaseEvents*> sinks;
  LONG ref_count = 1;  // the test's own reference

  ~ScriptedURLBase() {
    for (auto& [cookie, sink] : sinks) sink->Release();
  }

  // Calls the event at every advised sink; the results in cookie order.
  std::vector<HRESULT> FireBeforeRemove(ULONG index) {
    std::vector<HRESULT> results;
    for (auto& [cookie, sink] : Snapshot()) {
      results.push_back(sink->OnDataBeforeRemove(index));
    }
    return results;
  }
  std::vector<HRESULT> FireAdded(ULONG index) {
    std::vector<HRESULT> results;
    for (auto& [cookie, sink] : Snapshot()) results.push_back(sink->OnDataAdded(index));
    return results;
  }
  std::vector<HRESULT> FireSettingsChanged() {
    std::vector<HRESULT> results;
    for (auto& [cookie, sink] : Snapshot()) results.push_back(sink->OnSettingsChanged());
    return results;
  }

  // IUnknown. The object lives as long as the test; the count is watched.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    static const platform::InterfaceEntry<ScriptedURLBase> kTable[] = {
        {&IID_IBromURLBase,
         [](ScriptedURLBase* o) -> IUnknown* { return static_cast<IBromURLBase*>(o); }},
        {&IID_IConnectionPointContainer,
         [](ScriptedURLBase* o) -> IUnknown* {
           return static_cast<IConnectionPointContainer*>(o);
         }},
    };
    return platform::QueryInterfaceFromTable(this, kTable, riid, object);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++ref_count); }
  ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--ref_count); }

  // IBromURLBase: the two slots the agent calls; the rest are not used.
  HRESULT STDMETHODCALLTYPE AddVisit(std::int64_t, BSTR, BSTR, BSTR, ULONG*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE RemoveVisit(ULONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Count(ULONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE FindVisit(std::int64_t, BSTR, ULONG*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetData(_URL_DATE_IA_S* data, ULONG index) override {
    if (during_get_data) during_get_data();
    if (FAILED(get_data_result)) return get_data_result;
    auto it = visits.find(index);
    if (it == visits.end()) return URLBASE_E_NOVISIT;
    const Visit& visit = it->second;
    data->Time = visit.time;
    data->Url = visit.null_strings ? nullptr : platform::AllocBstr(visit.url);
    data->Path = visit.null_strings ? nullptr : platform::AllocBstr(visit.path);
    data->Title = visit.null_strings ? nullptr : platform::AllocBstr(visit.title);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE NextVisit(ULONG, ULONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE RemoveAll() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetDataDirectory(BSTR* directory) override {
    const std::size_t call = static_cast<std::size_t>(directory_calls++);
    if (during_directory_call) during_directory_call();
    *directory = nullptr;
    if (FAILED(directory_result)) return directory_result;
    const std::u16string& name =
        directories.empty() ? std::u16string()
                            : directories[std::min(call, directories.size() - 1)];
    *directory = name.empty() ? nullptr : platform::AllocBstr(name);
    return S_OK;
  }

  // IConnectionPointContainer: this object is its own one point.
  HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid,
                                                IConnectionPoint** point) override {
    *point = nullptr;
    if (!IsEqualGUID(riid, IID_IBromURLBaseEvents)) return CONNECT_E_NOCONNECTION;
    AddRef();
    *point = this;
    return S_OK;
  }

  // IConnectionPoint.
  HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override {
    *iid = IID_IBromURLBaseEvents;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE
  GetConnectionPointContainer(IConnectionPointContainer** container) override {
    AddRef();
    *container = this;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override {
    *cookie = 0;
    if (FAILED(advise_result)) return advise_result;
    IBromURLBaseEvents* events = nullptr;
    const HRESULT hr = sink->QueryInterface(IID_IBromURLBaseEvents,
                                            reinterpret_cast<void**>(&events));
    if (FAILED(hr)) return CONNECT_E_CANNOTCONNECT;
    *cookie = ++last_cookie_;
    sinks[*cookie] = events;
    return advise_result;
  }
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override {
    if (FAILED(unadvise_result)) return unadvise_result;
    auto it = sinks.find(cookie);
    if (it == sinks.end()) return CONNECT_E_NOCONNECTION;
    it->second->Release();
    sinks.erase(it);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections**) override {
    return E_NOTIMPL;
  }

 private:
  // Sinks may unadvise while being called; each gets its own reference.
  std::vector<std::pair<DWORD, IBromURLBaseEvents*>> Snapshot() {
    std::vector<std::pair<DWORD, IBromURLBaseEvents*>> copy(sinks.begin(), sinks.end());
    return copy;
  }

  DWORD last_cookie_ = 0;
};

}  // namespace qoinfo::testing
