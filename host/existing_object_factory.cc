#include "host/existing_object_factory.h"

#include <new>

#include "com/module_lock.h"
#include "platform/interface_table.h"

namespace qoinfo {
namespace {

const platform::InterfaceEntry<CExistingObjectFactory> kInterfaces[] = {
    {&IID_IClassFactory,
     [](CExistingObjectFactory* factory) -> IUnknown* {
       return static_cast<IClassFactory*>(factory);
     }},
};

}  // namespace

CExistingObjectFactory* CExistingObjectFactory::New(IUnknown* object) {
  if (object == nullptr) return nullptr;
  return new (std::nothrow) CExistingObjectFactory(object);
}

CExistingObjectFactory::CExistingObjectFactory(IUnknown* object)
    : m_object(object) {
  m_object->AddRef();
}

CExistingObjectFactory::~CExistingObjectFactory() { m_object->Release(); }

HRESULT CExistingObjectFactory::QueryInterface(REFIID riid, void** object) {
  return platform::QueryInterfaceFromTable(this, kInterfaces, riid, object);
}

ULONG CExistingObjectFactory::AddRef() { return ++m_refCount; }

ULONG CExistingObjectFactory::Release() {
  const ULONG count = --m_refCount;
  if (count == 0) delete this;
  return count;
}

HRESULT CExistingObjectFactory::CreateInstance(IUnknown* outer, REFIID riid,
                                               void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (outer != nullptr) return CLASS_E_NOAGGREGATION;
  return m_object->QueryInterface(riid, object);
}

HRESULT CExistingObjectFactory::LockServer(BOOL lock) {
  ChangeServerLock(lock != 0);
  return S_OK;
}

}  // namespace qoinfo
