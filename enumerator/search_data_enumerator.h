// CSearchDataEnumerator: the answer to one search, handed out one hit at a
// time, best first, as _URL_DATE_IA_S records. The object owns its hits
// (ranked lazily, see RankedHits) and a snapshot of the index's records as
// they were at the search: whatever happens to the index after the search
// does not change what it returns, and no record is copied before Next
// hands it out.
//
// A COM object: reference counted with atomic operations, aggregatable, and
// holding one module lock for its whole life, so that a client's enumerator
// keeps the server running. Calls arrive one at a time on the server's
// apartment thread; only the reference count may change from other threads.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "com/interfaces.h"
#include "com/module_lock.h"
#include "com/type_info_dispatch.h"
#include "enumerator/ranked_hits.h"
#include "index/shared_record_map.h"
#include "platform/com_base.h"
#include "platform/interface_table.h"

namespace qoinfo {

class CSearchDataEnumerator final : public ISearchDataEnumerator,
                                    public IProvideClassInfo {
 public:
  // What a class object calls. Creates an empty enumerator, standalone when
  // `outer` is null, otherwise as the inner object of `outer` (which must
  // then ask for IID_IUnknown: CLASS_E_NOAGGREGATION otherwise), and queries
  // it for `riid`. On failure *object is null and nothing is left behind.
  static HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** object);
  // A standalone enumerator with one reference owned by the caller, for the
  // search that fills it.
  static HRESULT Create(CSearchDataEnumerator** object);

  // Replaces the contents and puts the cursor before the best hit. `records`
  // is the index's records at the search (null: none): hits over an index
  // without records make Next fail with E_FAIL. Not part of any interface.
  void Fill(std::vector<RankedHit> hits,
            std::shared_ptr<const RecordSnapshot> records) noexcept;

  std::size_t hit_count() const { return m_hits.size(); }

  // IUnknown: passed to the outer object when aggregated.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IDispatch over ISearchDataEnumerator, and IProvideClassInfo, through
  // TypeInfoDispatch.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale,
                                        ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names,
                                          UINT count, LCID locale,
                                          DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID locale,
                                   WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* exception,
                                   UINT* arg_error) override;
  HRESULT STDMETHODCALLTYPE GetClassInfo(ITypeInfo** info) override;

  // ISearchDataEnumerator.
  // The next hit into *data (three new BSTRs the caller frees; what *data
  // held is neither read nor freed). S_FALSE when nothing is left, E_FAIL
  // when there are hits but the index had no records, E_POINTER for a null
  // data, E_OUTOFMEMORY (nothing consumed, *data untouched) when a string
  // cannot be allocated. Hits whose page has no record are skipped.
  HRESULT STDMETHODCALLTYPE Next(_URL_DATE_IA_S* data) override;
  // Back to the best hit.
  HRESULT STDMETHODCALLTYPE Reset() override;
  // Reports no number and changes nothing.
  HRESULT STDMETHODCALLTYPE Count() override;
  // This object's address, sign-extended to 64 bits; meaningful only inside
  // the server process.
  HRESULT STDMETHODCALLTYPE GetThis(std::int64_t* _this) override;

 private:
  TypeInfoDispatch Dispatch() {
    return TypeInfoDispatch(IID_ISearchDataEnumerator,
                            static_cast<ISearchDataEnumerator*>(this));
  }
  // The object's own IUnknown: the identity of a standalone object and the
  // interface an aggregating object holds to control the inner one.
  class CInnerUnknown final : public IUnknown {
   public:
    explicit CInnerUnknown(CSearchDataEnumerator* owner) : m_owner(owner) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid,
                                             void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

   private:
    CSearchDataEnumerator* const m_owner;
  };

  // The QueryInterface table; its first row, the inner IUnknown, answers
  // IID_IUnknown.
  static const platform::InterfaceEntry<CSearchDataEnumerator> kInterfaces[];

  explicit CSearchDataEnumerator(IUnknown* outer);
  ~CSearchDataEnumerator();

  HRESULT InnerQueryInterface(REFIID riid, void** object);
  ULONG InnerAddRef();
  ULONG InnerRelease();

  // Declared first, so that the lock is released last.
  ModuleLockHolder m_moduleLock;
  std::atomic<ULONG> m_refCount{0};
  CInnerUnknown m_inner{this};
  // Where IUnknown calls go: the outer object, or m_inner when standalone.
  IUnknown* const m_outer;

  RankedHits m_hits;
  // The place in the delivery order of the next hit to deliver.
  std::size_t m_cursor = 0;
  std::shared_ptr<const RecordSnapshot> m_records;
};

}  // namespace qoinfo
