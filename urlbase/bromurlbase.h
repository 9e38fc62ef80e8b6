// CBromURLBase: our history component, the object behind IBromURLBase. It
// keeps the visit list in the file "history.sqlite3" in its data directory
// (CVisitStore), with the texts of their pages (IBromPageTexts), and announces added and departing visits to the sinks
// advised at its one connection point (CURLBaseEventsPoint).
//
// A COM object: reference counted with atomic operations, not aggregatable,
// holding one module lock for its whole life. Calls arrive one at a time on
// the thread that created it (the server's apartment); sinks are called
// synchronously on that thread and may call back into the object.
#pragma once

#include <atomic>
#include <memory>
#include <set>
#include <string>

#include "com/module_lock.h"
#include "platform/com_base.h"
#include "platform/connection_point.h"
#include "urlbase/url_base.h"
#include "urlbase/page_texts.h"
#include "urlbase/url_base_events_point.h"
#include "urlbase/visit_store.h"

namespace qoinfo {

class CBromURLBase final : public IBromURLBase,
                           public IBromPageTexts,
                           public IConnectionPointContainer {
 public:
  // The name of the history file inside the data directory.
  static constexpr char16_t kHistoryFileName[] = u"history.sqlite3";

  // What a class object calls: the history in the user's data directory
  // (platform::UserDataDirectory). `outer` must be null
  // (CLASS_E_NOAGGREGATION). The directory is created when missing; its
  // failure, or the history file's, fails the creation with that HRESULT.
  // On failure *object is null.
  static HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** object);
  // The same over the history in `directory`.
  static HRESULT CreateInDirectory(const std::u16string& directory, REFIID riid,
                                   void** object);

  // IUnknown.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IBromURLBase (see url_base.h).
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

  // IBromPageTexts (see page_texts.h).
  HRESULT STDMETHODCALLTYPE StoreText(std::int64_t time, BSTR url,
                                      BSTR text) override;
  HRESULT STDMETHODCALLTYPE GetText(std::int64_t time, BSTR url,
                                    BSTR* text) override;
  HRESULT STDMETHODCALLTYPE SetKeepTexts(LONG keep) override;
  HRESULT STDMETHODCALLTYPE GetTextTotals(LONG* keep, ULONG* count,
                                          std::int64_t* bytes) override;

  // IConnectionPointContainer: the one point, for IBromURLBaseEvents
  // (CONNECT_E_NOCONNECTION for any other interface). Points are not
  // enumerated: E_NOTIMPL with a null result.
  HRESULT STDMETHODCALLTYPE
  EnumConnectionPoints(IEnumConnectionPoints** points) override;
  HRESULT STDMETHODCALLTYPE
  FindConnectionPoint(REFIID riid, IConnectionPoint** point) override;

 private:
  CBromURLBase(std::u16string directory, std::unique_ptr<CVisitStore> store);
  ~CBromURLBase();

  // RemoveVisit; `erase`: then EraseRemovedVisits (RemoveAll erases once,
  // after the last).
  HRESULT RemoveOne(ULONG index, bool erase);
  // After removals: what the database still held of the removed visits
  // leaves its files (CVisitStore::EraseRemovedVisits); a failure is logged.
  void EraseRemovedVisits();

  // Declared first, so that the lock is released last.
  ModuleLockHolder m_moduleLock;
  std::atomic<ULONG> m_refCount{0};
  const std::u16string m_directory;
  std::unique_ptr<CVisitStore> m_store;
  CURLBaseEventsPoint m_events{this};
  // Visits whose removal is under way (their sinks are being told).
  std::set<ULONG> m_removing;
};

}  // namespace qoinfo
