#include "host/class_factory.h"

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
  return new (std::nothrow) CClassFactory(creator);
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
