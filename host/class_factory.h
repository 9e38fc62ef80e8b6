// CClassFactory: a class object that answers each creation request with a
// function: the class's own creation function for instances made anew (for
// instance CSearchDataEnumerator::CreateInstance, which also handles
// aggregation), or one object that already exists (ForExistingObject: a
// process that runs a component itself registers it this way, so that
// others in the process who create the class by its identifier get that
// very object). Lock-server requests change the process's module lock count.
//
// A COM object with an atomic count; it owns the function and what the
// function holds.
#pragma once

#include <atomic>
#include <functional>
#include <utility>

#include "platform/class_objects.h"
#include "platform/com_base.h"

namespace qoinfo {

class CClassFactory final : public IClassFactory {
 public:
  using Creator =
      std::function<HRESULT(IUnknown* outer, REFIID riid, void** object)>;

  // A factory with one reference for the caller; null when out of memory.
  static CClassFactory* New(Creator creator);
  // A factory that hands out `object` (one reference held while the factory
  // lives): its answer for the interface asked, CLASS_E_NOAGGREGATION with
  // an outer object. Null for a null object or when out of memory.
  static CClassFactory* ForExistingObject(IUnknown* object);

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // E_POINTER for a null out pointer, else what the creator answers.
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid,
                                           void** object) override;
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

 private:
  explicit CClassFactory(Creator creator) : m_creator(std::move(creator)) {}
  ~CClassFactory() = default;

  std::atomic<ULONG> m_refCount{1};
  const Creator m_creator;
};

}  // namespace qoinfo
