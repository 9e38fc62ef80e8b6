// CExistingObjectFactory: a class object that hands out one object that
// already exists, instead of making new ones. A process that runs a
// component itself registers it this way, so that others in the process
// who create the class by its identifier get that very object.
//
// A COM object with an atomic count; it holds one reference on the object
// until it is destroyed.
#pragma once

#include <atomic>

#include "platform/class_objects.h"
#include "platform/com_base.h"

namespace qoinfo {

class CExistingObjectFactory final : public IClassFactory {
 public:
  // A factory for `object` (AddRef'd) with one reference for the caller;
  // null when out of memory.
  static CExistingObjectFactory* New(IUnknown* object);

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // The object's answer for `riid`; CLASS_E_NOAGGREGATION with an outer
  // object.
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid,
                                           void** object) override;
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

 private:
  explicit CExistingObjectFactory(IUnknown* object);
  ~CExistingObjectFactory();

  std::atomic<ULONG> m_refCount{1};
  IUnknown* const m_object;
};

}  // namespace qoinfo
