#include "enumerator/search_data_enumerator.h"

#include <new>
#include <utility>

#include "platform/wide_string.h"

namespace qoinfo {

// The inner IUnknown (the identity of a standalone object, and what an
// aggregating object holds) and the three interfaces; nothing else.
const platform::InterfaceEntry<CSearchDataEnumerator>
    CSearchDataEnumerator::kInterfaces[] = {
        {&IID_IUnknown,
         [](CSearchDataEnumerator* object) -> IUnknown* {
           return &object->m_inner;
         }},
        {&IID_ISearchDataEnumerator,
         [](CSearchDataEnumerator* object) -> IUnknown* {
           return static_cast<ISearchDataEnumerator*>(object);
         }},
        {&IID_IDispatch,
         [](CSearchDataEnumerator* object) -> IUnknown* {
           return static_cast<ISearchDataEnumerator*>(object);
         }},
        {&IID_IProvideClassInfo,
         [](CSearchDataEnumerator* object) -> IUnknown* {
           return static_cast<IProvideClassInfo*>(object);
         }},
};

HRESULT CSearchDataEnumerator::CreateInstance(IUnknown* outer, REFIID riid,
                                              void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  // An outer object must hold the inner one by its own IUnknown.
  if (outer != nullptr && !IsEqualGUID(riid, IID_IUnknown)) {
    return CLASS_E_NOAGGREGATION;
  }
  CSearchDataEnumerator* created =
      new (std::nothrow) CSearchDataEnumerator(outer);
  if (created == nullptr) return E_OUTOFMEMORY;
  // Hold the object across the query; when the query fails, this release
  // destroys it.
  created->InnerAddRef();
  const HRESULT hr = created->InnerQueryInterface(riid, object);
  created->InnerRelease();
  return hr;
}

HRESULT CSearchDataEnumerator::Create(CSearchDataEnumerator** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  ISearchDataEnumerator* created = nullptr;
  const HRESULT hr = CreateInstance(nullptr, IID_ISearchDataEnumerator,
                                    reinterpret_cast<void**>(&created));
  if (FAILED(hr)) return hr;
  *object = static_cast<CSearchDataEnumerator*>(created);
  return S_OK;
}

CSearchDataEnumerator::CSearchDataEnumerator(IUnknown* outer)
    : m_outer(outer != nullptr ? outer : &m_inner) {}

// The snapshot goes first, then the hits; the module lock last.
CSearchDataEnumerator::~CSearchDataEnumerator() = default;

void CSearchDataEnumerator::Fill(
    std::vector<RankedHit> hits,
    std::shared_ptr<const RecordSnapshot> records) noexcept {
  m_hits = RankedHits(std::move(hits));
  m_records = std::move(records);
  m_cursor = 0;
}

// --- IUnknown ---------------------------------------------------------------

HRESULT CSearchDataEnumerator::QueryInterface(REFIID riid, void** object) {
  return m_outer->QueryInterface(riid, object);
}

ULONG CSearchDataEnumerator::AddRef() { return m_outer->AddRef(); }

ULONG CSearchDataEnumerator::Release() { return m_outer->Release(); }

HRESULT CSearchDataEnumerator::InnerQueryInterface(REFIID riid, void** object) {
  return platform::QueryInterfaceFromTable(this, kInterfaces, riid, object);
}

ULONG CSearchDataEnumerator::InnerAddRef() {
  return m_refCount.fetch_add(1, std::memory_order_relaxed) + 1;
}

ULONG CSearchDataEnumerator::InnerRelease() {
  const ULONG count = m_refCount.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if (count == 0) delete this;
  return count;
}

HRESULT CSearchDataEnumerator::CInnerUnknown::QueryInterface(REFIID riid,
                                                             void** object) {
  return m_owner->InnerQueryInterface(riid, object);
}

ULONG CSearchDataEnumerator::CInnerUnknown::AddRef() {
  return m_owner->InnerAddRef();
}

ULONG CSearchDataEnumerator::CInnerUnknown::Release() {
  return m_owner->InnerRelease();
}

// --- IDispatch and IProvideClassInfo (com/type_info_dispatch.h) -------------

HRESULT CSearchDataEnumerator::GetTypeInfoCount(UINT* count) {
  return Dispatch().GetTypeInfoCount(count);
}

HRESULT CSearchDataEnumerator::GetTypeInfo(UINT index, LCID /*locale*/,
                                           ITypeInfo** info) {
  return Dispatch().GetTypeInfo(index, info);
}

HRESULT CSearchDataEnumerator::GetIDsOfNames(REFIID riid, LPOLESTR* names,
                                             UINT count, LCID /*locale*/,
                                             DISPID* ids) {
  return Dispatch().GetIDsOfNames(riid, names, count, ids);
}

HRESULT CSearchDataEnumerator::Invoke(DISPID id, REFIID riid, LCID /*locale*/,
                                      WORD flags, DISPPARAMS* params,
                                      VARIANT* result, EXCEPINFO* exception,
                                      UINT* arg_error) {
  return Dispatch().Invoke(id, riid, flags, params, result, exception,
                           arg_error);
}

HRESULT CSearchDataEnumerator::GetClassInfo(ITypeInfo** info) {
  return TypeInfoDispatch::GetClassInfo(CLSID_CSearchDataEnumerator, info);
}

// --- ISearchDataEnumerator --------------------------------------------------

HRESULT CSearchDataEnumerator::Next(_URL_DATE_IA_S* data) {
  if (data == nullptr) return E_POINTER;
  if (m_hits.empty()) return S_FALSE;
  if (m_records == nullptr || m_records->empty()) return E_FAIL;
  // Hits whose page has no record are consumed on the way to the next one.
  const std::size_t start = m_cursor;
  while (m_cursor < m_hits.size()) {
    const RankedHit& hit = m_hits.at(m_cursor);
    platform::UniqueBstr path, url, title;
    std::int64_t time = 0;
    const bool found =
        m_records->Visit(hit.page, [&](const CTimeURLContainer& record) {
          path.reset(platform::AllocBstr(record.m_path));
          url.reset(platform::AllocBstr(record.m_url));
          title.reset(platform::AllocBstr(record.m_title));
          time = record.m_time;
        });
    if (!found) {
      ++m_cursor;
      continue;
    }
    // All three strings or none: a failed allocation consumes nothing.
    if (!path || !url || !title) {
      m_cursor = start;
      return E_OUTOFMEMORY;
    }
    ++m_cursor;
    data->Path = path.release();
    data->Time = time;
    data->Url = url.release();
    data->Title = title.release();
    // The low 32 bits of the relevance.
    data->Percent = static_cast<std::int32_t>(hit.percent);
    return S_OK;
  }
  return S_FALSE;
}

HRESULT CSearchDataEnumerator::Reset() {
  m_cursor = 0;
  return S_OK;
}

HRESULT CSearchDataEnumerator::Count() { return S_OK; }

HRESULT CSearchDataEnumerator::GetThis(std::int64_t* _this) {
  if (_this == nullptr) return E_POINTER;
  // ISearchDataEnumerator is the first base, so the object and its primary
  // interface share this address; intptr_t widens a 32-bit one with its sign.
  *_this = static_cast<std::int64_t>(reinterpret_cast<std::intptr_t>(this));
  return S_OK;
}

}  // namespace qoinfo
