#include "host/shared_history.h"

#include <new>

#include "com/module_lock.h"
#include "platform/interface_table.h"
#include "urlbase/bromurlbase.h"

namespace qoinfo {
namespace {

const platform::InterfaceEntry<CSharedHistory> kInterfaces[] = {
    {&IID_IBromURLBase,
     [](CSharedHistory* history) -> IUnknown* {
       return static_cast<IBromURLBase*>(history);
     }},
    {&IID_IBromPageTexts,
     [](CSharedHistory* history) -> IUnknown* {
       return static_cast<IBromPageTexts*>(history);
     }},
    {&IID_IConnectionPointContainer,
     [](CSharedHistory* history) -> IUnknown* {
       return static_cast<IConnectionPointContainer*>(history);
     }},
};

}  // namespace

HRESULT CSharedHistory::Open(CSharedHistory** history) {
  *history = nullptr;
  platform::ComPtr<IBromURLBase> component;
  const HRESULT hr = CBromURLBase::CreateInstance(nullptr, IID_IBromURLBase,
                                                  component.out_void());
  if (FAILED(hr)) return hr;
  *history = new (std::nothrow) CSharedHistory(std::move(component));
  return *history == nullptr ? E_OUTOFMEMORY : S_OK;
}

CSharedHistory::CSharedHistory(platform::ComPtr<IBromURLBase> history)
    : m_history(std::move(history)) {
  m_history->QueryInterface(IID_IConnectionPointContainer,
                            m_points.out_void());
  m_history->QueryInterface(IID_IBromPageTexts, m_texts.out_void());
  ProcessModuleLock().Unlock();
}

CSharedHistory::~CSharedHistory() {
  ProcessModuleLock().Lock();
  m_points.Reset();
  m_texts.Reset();
  m_history.Reset();
}

HRESULT CSharedHistory::QueryInterface(REFIID riid, void** object) {
  return platform::QueryInterfaceFromTable(this, kInterfaces, riid, object);
}

ULONG CSharedHistory::AddRef() {
  const LONG count = ++m_refCount;
  if (count == 2) ProcessModuleLock().Lock();
  return static_cast<ULONG>(count);
}

ULONG CSharedHistory::Release() {
  const LONG count = --m_refCount;
  if (count == 1) ProcessModuleLock().Unlock();
  if (count == 0) delete this;
  return static_cast<ULONG>(count);
}

HRESULT CSharedHistory::AddVisit(std::int64_t time, BSTR url, BSTR path,
                                 BSTR title, ULONG* index) {
  return m_history->AddVisit(time, url, path, title, index);
}
HRESULT CSharedHistory::RemoveVisit(ULONG index) {
  return m_history->RemoveVisit(index);
}
HRESULT CSharedHistory::Count(ULONG* count) { return m_history->Count(count); }
HRESULT CSharedHistory::FindVisit(std::int64_t time, BSTR url, ULONG* index) {
  return m_history->FindVisit(time, url, index);
}
HRESULT CSharedHistory::GetData(_URL_DATE_IA_S* data, ULONG index) {
  return m_history->GetData(data, index);
}
HRESULT CSharedHistory::NextVisit(ULONG after, ULONG* index) {
  return m_history->NextVisit(after, index);
}
HRESULT CSharedHistory::RemoveAll() { return m_history->RemoveAll(); }
HRESULT CSharedHistory::GetDataDirectory(BSTR* directory) {
  return m_history->GetDataDirectory(directory);
}

HRESULT CSharedHistory::StoreText(std::int64_t time, BSTR url, BSTR text) {
  if (m_texts.get() == nullptr) return S_FALSE;
  return m_texts->StoreText(time, url, text);
}
HRESULT CSharedHistory::GetText(std::int64_t time, BSTR url, BSTR* text) {
  if (text == nullptr) return E_POINTER;
  *text = nullptr;
  if (m_texts.get() == nullptr) return S_FALSE;
  return m_texts->GetText(time, url, text);
}
HRESULT CSharedHistory::SetKeepTexts(LONG keep) {
  if (m_texts.get() == nullptr) return E_NOTIMPL;
  return m_texts->SetKeepTexts(keep);
}
HRESULT CSharedHistory::GetTextTotals(LONG* keep, ULONG* count,
                                      std::int64_t* bytes) {
  if (m_texts.get() == nullptr) return E_NOTIMPL;
  return m_texts->GetTextTotals(keep, count, bytes);
}

HRESULT CSharedHistory::EnumConnectionPoints(IEnumConnectionPoints** points) {
  if (m_points.get() == nullptr) return E_NOTIMPL;
  return m_points->EnumConnectionPoints(points);
}

HRESULT CSharedHistory::FindConnectionPoint(REFIID riid,
                                            IConnectionPoint** point) {
  if (point == nullptr) return E_POINTER;
  *point = nullptr;
  if (m_points.get() == nullptr) return CONNECT_E_NOCONNECTION;
  return m_points->FindConnectionPoint(riid, point);
}

}  // namespace qoinfo
