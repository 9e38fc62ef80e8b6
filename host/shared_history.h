// CSharedHistory: the one history object a history server (BromHelper)
// hands to every client. It forwards IBromURLBase, IBromPageTexts and the
// connection-point container to our history component, and counts like the shared agent: the
// first reference (the class object's) keeps no module lock, every further
// one does, so the server ends by idleness only when no client holds the
// history. The history component's own lifelong lock is given back while the
// component lives here.
//
// A COM object with an atomic count; calls arrive on the server's apartment
// thread. The connection point found here reports the component itself as
// its container.
#pragma once

#include <atomic>
#include <string>

#include "platform/com_base.h"
#include "platform/com_ptr.h"
#include "platform/connection_point.h"
#include "urlbase/page_texts.h"
#include "urlbase/url_base.h"

namespace qoinfo {

class CSharedHistory final : public IBromURLBase,
                             public IBromPageTexts,
                             public IConnectionPointContainer {
 public:
  // Opens the history in the user's data directory: the shared object with
  // one reference for the caller, or the failure of opening it.
  static HRESULT Open(CSharedHistory** history);

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

 private:
  explicit CSharedHistory(platform::ComPtr<IBromURLBase> history);
  ~CSharedHistory();

  std::atomic<LONG> m_refCount{1};
  platform::ComPtr<IBromURLBase> m_history;
  platform::ComPtr<IBromPageTexts> m_texts;
  platform::ComPtr<IConnectionPointContainer> m_points;
};

}  // namespace qoinfo
