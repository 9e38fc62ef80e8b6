// CClassFactory: the class object of a class whose instances are made anew
// for every request, by the class's own creation function (for instance
// CSearchDataEnumerator::CreateInstance, which also handles aggregation).
// Lock-server requests change the process's module lock count.
//
// A COM object with an atomic count; it owns nothing but the function.
#pragma once

#include <atomic>

#include "platform/class_objects.h"
#include "platform/com_base.h"

namespace qoinfo {

class CClassFactory final : public IClassFactory {
 public:
  using Creator = HRESULT (*)(IUnknown* outer, REFIID riid, void** object);

  // A factory with one reference for the caller; null when out of memory.
  static CClassFactory* New(Creator creator);

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // E_POINTER for a null out pointer, else what the creator answers.
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid,
                                           void** object) override;
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

 private:
  explicit CClassFactory(Creator creator) : m_creator(creator) {}
  ~CClassFactory() = default;

  std::atomic<ULONG> m_refCount{1};
  const Creator m_creator;
};

}  // namespace qoinfo
