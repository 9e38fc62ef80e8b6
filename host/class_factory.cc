#include "host/class_factory.h"

#include <memory>
#include <new>

#include "com/module_lock.h"
#include "platform/interface_table.h"

namespace qoinfo {
namespace {

const platform::InterfaceEntry<CClassFactory> kInterfaces[] = {
    {&IID_IClassFactory,
     [](CClassFactory* factory) -> IUnknown* {
       return static_cast<IClassFactory*>(factory);
     }},
};

}  // namespace

CClassFactory* CClassFactory::New(Creator creator) {
  return new (std::nothrow) CClassFactory(std::move(creator));
}

CClassFactory* CClassFactory::ForExistingObject(IUnknown* object) {
  if (object == nullptr) return nullptr;
  try {
    object->AddRef();
    const std::shared_ptr<IUnknown> held(object,
                                         [](IUnknown* p) { p->Release(); });
    return New([held](IUnknown* outer, REFIID riid, void** out) {
      if (outer != nullptr) return CLASS_E_NOAGGREGATION;
      return held->QueryInterface(riid, out);
    });
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

HRESULT CClassFactory::QueryInterface(REFIID riid, void** object) {
  return platform::QueryInterfaceFromTable(this, kInterfaces, riid, object);
}

ULONG CClassFactory::AddRef() { return ++m_refCount; }

ULONG CClassFactory::Release() {
  const ULONG count = --m_refCount;
  if (count == 0) delete this;
  return count;
}

HRESULT CClassFactory::CreateInstance(IUnknown* outer, REFIID riid,
                                      void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  return m_creator(outer, riid, object);
}

HRESULT CClassFactory::LockServer(BOOL lock) {
  ChangeServerLock(lock != 0);
  return S_OK;
}

}  // namespace qoinfo
