// CSearchDataEnumerator: the answer to one search, handed out one hit at a
// time, best first, as _URL_DATE_IA_S records. The object owns its ranking
// (relevance -> page identifier) and copies of the page records it may
// deliver; it never looks at the live index, so whatever happens to the index
// after the search does not change what it returns.
//
// A COM object: reference counted with atomic operations, aggregatable, and
// holding one module lock for its whole life, so that a client's enumerator
// keeps the server running. Calls arrive one at a time on the server's
// apartment thread; only the reference count may change from other threads.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>

#include "com/interfaces.h"
#include "com/module_lock.h"
#include "com/type_info_dispatch.h"
#include "index/time_url_container.h"
#include "platform/com_base.h"
#include "platform/interface_table.h"

namespace qoinfo {

class CSearchDataEnumerator final : public ISearchDataEnumerator,
                                    public IProvideClassInfo {
 public:
  // Relevance -> page identifier, ascending; entries with equal relevance
  // stay in insertion order. Walked from its end.
  using Ranking = std::multimap<std::int64_t, std::int64_t>;
  // Page identifier -> the record Next delivers for it.
  using RecordMap = std::map<std::int64_t, CTimeURLContainer>;

  // What a class object calls. Creates an empty enumerator, standalone when
  // `outer` is null, otherwise as the inner object of `outer` (which must
  // then ask for IID_IUnknown: CLASS_E_NOAGGREGATION otherwise), and queries
  // it for `riid`. On failure *object is null and nothing is left behind.
  static HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** object);
  // A standalone enumerator with one reference owned by the caller, for the
  // search that fills it.
  static HRESULT Create(CSearchDataEnumerator** object);

  // Replaces the contents and puts the cursor at the end of the ranking, so
  // that Next starts with the best hit. `records` must hold the record of
  // every ranked page that has one (more do no harm);
  // `index_had_records` tells whether the index held any record at all when
  // the ranking was made: a ranking over an index without records makes Next
  // fail with E_FAIL. Not part of any interface.
  void Fill(Ranking ranking, RecordMap records,
            bool index_had_records) noexcept;

  const Ranking& ranking() const { return m_ranking; }
  const RecordMap& records() const { return m_records; }

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

  Ranking m_ranking;
  // The entries before the cursor are still to be delivered: at the end of
  // m_ranking nothing has been delivered yet, at the beginning everything.
  Ranking::const_iterator m_cursor;
  RecordMap m_records;
  bool m_indexHadRecords = false;
};

}  // namespace qoinfo
