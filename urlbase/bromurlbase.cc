#include "urlbase/bromurlbase.h"

#include <new>
#include <utility>
#include <vector>

#include "platform/alert.h"
#include "platform/data_directory.h"
#include "platform/file_system.h"
#include "platform/hresult_error.h"
#include "platform/interface_table.h"
#include "platform/wide_string.h"

namespace qoinfo {
namespace {

// IUnknown (the first row), IBromURLBase, IBromPageTexts and the
// connection-point container.
const platform::InterfaceEntry<CBromURLBase> kInterfaces[] = {
    {&IID_IBromURLBase,
     [](CBromURLBase* object) -> IUnknown* {
       return static_cast<IBromURLBase*>(object);
     }},
    {&IID_IBromPageTexts,
     [](CBromURLBase* object) -> IUnknown* {
       return static_cast<IBromPageTexts*>(object);
     }},
    {&IID_IConnectionPointContainer,
     [](CBromURLBase* object) -> IUnknown* {
       return static_cast<IConnectionPointContainer*>(object);
     }},
};

}  // namespace

HRESULT CBromURLBase::CreateInstance(IUnknown* outer, REFIID riid,
                                     void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (outer != nullptr) return CLASS_E_NOAGGREGATION;
  try {
    std::u16string directory;
    const HRESULT hr = platform::UserDataDirectory(&directory);
    if (FAILED(hr)) return hr;
    return CreateInDirectory(directory, riid, object);
  } catch (...) {
    return platform::HResultFromCurrentException();
  }
}

HRESULT CBromURLBase::CreateInDirectory(const std::u16string& directory,
                                        REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (directory.empty()) return E_INVALIDARG;
  try {
    const std::u16string folder =
        platform::WithoutTrailingSeparators(directory);
    HRESULT hr = platform::CreateDirectoryTree(folder);
    if (FAILED(hr)) return hr;
    std::unique_ptr<CVisitStore> store;
    hr = CVisitStore::Open(folder + platform::kPathSeparator + kHistoryFileName,
                           &store);
    if (FAILED(hr)) return hr;
    CBromURLBase* created =
        new (std::nothrow) CBromURLBase(folder, std::move(store));
    if (created == nullptr) return E_OUTOFMEMORY;
    // Held across the query; when the query fails, this release destroys it.
    created->AddRef();
    hr = created->QueryInterface(riid, object);
    created->Release();
    return hr;
  } catch (...) {
    return platform::HResultFromCurrentException();
  }
}

CBromURLBase::CBromURLBase(std::u16string directory,
                           std::unique_ptr<CVisitStore> store)
    : m_directory(std::move(directory)), m_store(std::move(store)) {}

// The sinks go first (with m_events), then the database is closed.
CBromURLBase::~CBromURLBase() = default;

// --- IUnknown ---------------------------------------------------------------

HRESULT CBromURLBase::QueryInterface(REFIID riid, void** object) {
  return platform::QueryInterfaceFromTable(this, kInterfaces, riid, object);
}

ULONG CBromURLBase::AddRef() {
  return m_refCount.fetch_add(1, std::memory_order_relaxed) + 1;
}

ULONG CBromURLBase::Release() {
  const ULONG count = m_refCount.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if (count == 0) delete this;
  return count;
}

// --- IBromURLBase -----------------------------------------------------------

HRESULT CBromURLBase::AddVisit(std::int64_t time, BSTR url, BSTR path,
                               BSTR title, ULONG* index) {
  if (index == nullptr) return E_POINTER;
  *index = 0;
  try {
    Visit visit;
    visit.time = time;
    visit.url = platform::FromBstr(url);
    if (visit.url.empty()) return E_INVALIDARG;
    visit.path = platform::FromBstr(path);
    visit.title = platform::FromBstr(title);
    std::uint32_t stored = 0;
    const HRESULT hr = m_store->Add(visit, &stored);
    if (FAILED(hr)) return hr;
    *index = stored;
    if (hr == S_OK) {
      // A sink may release the last reference it was given to us.
      AddRef();
      m_events.FireDataAdded(stored);
      Release();
    }
    return hr;
  } catch (...) {
    return platform::HResultFromCurrentException();
  }
}

HRESULT CBromURLBase::RemoveVisit(ULONG index) {
  return RemoveOne(index, true);
}

HRESULT CBromURLBase::RemoveOne(ULONG index, bool erase) {
  try {
    // A sink that removes the visit it is being told about: it goes anyway.
    if (m_removing.count(index) != 0) return S_FALSE;
    Visit visit;
    HRESULT hr = m_store->Get(index, &visit);
    if (FAILED(hr)) return hr;
    m_removing.insert(index);
    AddRef();
    // Every sink answers before the visit goes, so each can still read it.
    m_events.FireDataBeforeRemove(index);
    hr = m_store->Remove(index);
    m_removing.erase(index);
    // Before the release: a sink may have let go of every other reference.
    if (hr == S_OK && erase) EraseRemovedVisits();
    Release();
    return hr;
  } catch (...) {
    return platform::HResultFromCurrentException();
  }
}

HRESULT CBromURLBase::Count(ULONG* count) {
  if (count == nullptr) return E_POINTER;
  *count = 0;
  std::uint32_t stored = 0;
  const HRESULT hr = m_store->Count(&stored);
  *count = stored;
  return hr;
}

HRESULT CBromURLBase::FindVisit(std::int64_t time, BSTR url, ULONG* index) {
  if (index == nullptr) return E_POINTER;
  *index = 0;
  try {
    std::uint32_t found = 0;
    const HRESULT hr = m_store->Find(time, platform::FromBstr(url), &found);
    *index = found;
    return hr;
  } catch (...) {
    return platform::HResultFromCurrentException();
  }
}

HRESULT CBromURLBase::GetData(_URL_DATE_IA_S* data, ULONG index) {
  if (data == nullptr) return E_POINTER;
  try {
    Visit visit;
    const HRESULT hr = m_store->Get(index, &visit);
    if (FAILED(hr)) return hr;
    // All three strings or none.
    platform::UniqueBstr url(platform::AllocBstr(visit.url));
    platform::UniqueBstr path(platform::AllocBstr(visit.path));
    platform::UniqueBstr title(platform::AllocBstr(visit.title));
    if (!url || !path || !title) return E_OUTOFMEMORY;
    data->Time = visit.time;
    data->Url = url.release();
    data->Path = path.release();
    data->Title = title.release();
    return S_OK;
  } catch (...) {
    return platform::HResultFromCurrentException();
  }
}

HRESULT CBromURLBase::NextVisit(ULONG after, ULONG* index) {
  if (index == nullptr) return E_POINTER;
  *index = 0;
  std::uint32_t next = 0;
  const HRESULT hr = m_store->Next(after, &next);
  *index = next;
  return hr;
}

HRESULT CBromURLBase::RemoveAll() {
  try {
    std::vector<std::uint32_t> indexes;
    HRESULT hr = m_store->AllIndexes(&indexes);
    if (FAILED(hr)) return hr;
    AddRef();
    for (const std::uint32_t index : indexes) {
      hr = RemoveOne(index, false);
      // A sink may have removed a later visit itself meanwhile.
      if (hr == URLBASE_E_NOVISIT) hr = S_OK;
      if (FAILED(hr)) break;
    }
    EraseRemovedVisits();
    Release();
    return FAILED(hr) ? hr : S_OK;
  } catch (...) {
    return platform::HResultFromCurrentException();
  }
}

void CBromURLBase::EraseRemovedVisits() {
  const HRESULT hr = m_store->EraseRemovedVisits();
  if (FAILED(hr)) {
    const std::string code = platform::HResultCodeText(hr);
    platform::LogError(
        u"BromHelper could not yet erase removed visits from "
        u"the history's log in " +
        m_directory + u" (" + std::u16string(code.begin(), code.end()) +
        u"); they go at its next checkpoint.");
  }
}

HRESULT CBromURLBase::GetDataDirectory(BSTR* directory) {
  if (directory == nullptr) return E_POINTER;
  *directory = nullptr;
  try {
    // Made again if it went away since the creation: the agent writes its
    // index files there.
    const HRESULT hr = platform::CreateDirectoryTree(m_directory);
    if (FAILED(hr)) return hr;
  } catch (...) {
    return platform::HResultFromCurrentException();
  }
  *directory = platform::AllocBstr(m_directory);
  return *directory != nullptr ? S_OK : E_OUTOFMEMORY;
}

// --- IBromPageTexts ---------------------------------------------------------

HRESULT CBromURLBase::StoreText(std::int64_t time, BSTR url, BSTR text) {
  try {
    const std::u16string address = platform::FromBstr(url);
    if (address.empty()) return E_INVALIDARG;
    return m_store->StoreText(time, address, platform::FromBstr(text));
  } catch (...) {
    return platform::HResultFromCurrentException();
  }
}

HRESULT CBromURLBase::GetText(std::int64_t time, BSTR url, BSTR* text) {
  if (text == nullptr) return E_POINTER;
  *text = nullptr;
  try {
    std::u16string kept;
    const HRESULT hr = m_store->ReadText(time, platform::FromBstr(url), &kept);
    if (hr != S_OK) return hr;
    *text = platform::AllocBstr(kept);
    return *text != nullptr ? S_OK : E_OUTOFMEMORY;
  } catch (...) {
    return platform::HResultFromCurrentException();
  }
}

HRESULT CBromURLBase::SetKeepTexts(LONG keep) {
  // Turning keeping off erases the texts from the file and its log.
  return m_store->SetKeepTexts(keep != 0);
}

HRESULT CBromURLBase::GetTextTotals(LONG* keep, ULONG* count,
                                    std::int64_t* bytes) {
  if (keep == nullptr || count == nullptr || bytes == nullptr) {
    return E_POINTER;
  }
  *keep = 0;
  *count = 0;
  *bytes = 0;
  bool keeps = false;
  HRESULT hr = m_store->KeepsTexts(&keeps);
  if (FAILED(hr)) return hr;
  std::uint32_t texts = 0;
  std::uint64_t packed = 0;
  hr = m_store->TextTotals(&texts, &packed);
  if (FAILED(hr)) return hr;
  *keep = keeps ? 1 : 0;
  *count = texts;
  *bytes = static_cast<std::int64_t>(packed);
  return S_OK;
}

// --- IConnectionPointContainer ----------------------------------------------

HRESULT CBromURLBase::EnumConnectionPoints(IEnumConnectionPoints** points) {
  if (points == nullptr) return E_POINTER;
  *points = nullptr;
  return E_NOTIMPL;
}

HRESULT CBromURLBase::FindConnectionPoint(REFIID riid,
                                          IConnectionPoint** point) {
  if (point == nullptr) return E_POINTER;
  *point = nullptr;
  if (!IsEqualGUID(riid, IID_IBromURLBaseEvents)) return CONNECT_E_NOCONNECTION;
  m_events.AddRef();
  *point = &m_events;
  return S_OK;
}

}  // namespace qoinfo
