#include "platform/posix/class_objects_posix.h"

#include <mutex>
#include <new>
#include <vector>

namespace {

struct Registration {
  CLSID clsid;
  DWORD context;
  DWORD cookie;
  IUnknown* factory;
};

// The process's class table. Registrations are kept in the order made.
struct ClassTable {
  std::mutex mutex;
  std::vector<Registration> entries;
  DWORD last_cookie = 0;
};

ClassTable& Table() {
  static ClassTable* table = new ClassTable;  // lives as long as the process
  return *table;
}

}  // namespace

HRESULT CoRegisterClassObject(REFCLSID clsid, IUnknown* factory,
                              DWORD context, DWORD /*flags*/, DWORD* cookie) {
  if (cookie == nullptr || factory == nullptr) return E_INVALIDARG;
  *cookie = 0;
  ClassTable& table = Table();
  std::lock_guard<std::mutex> lock(table.mutex);
  try {
    table.entries.push_back(
        Registration{clsid, context, table.last_cookie + 1, factory});
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  *cookie = ++table.last_cookie;
  factory->AddRef();
  return S_OK;
}

HRESULT CoRevokeClassObject(DWORD cookie) {
  IUnknown* factory = nullptr;
  {
    ClassTable& table = Table();
    std::lock_guard<std::mutex> lock(table.mutex);
    for (auto it = table.entries.begin(); it != table.entries.end(); ++it) {
      if (it->cookie == cookie) {
        factory = it->factory;
        table.entries.erase(it);
        break;
      }
    }
  }
  if (factory == nullptr) return CO_E_OBJNOTREG;
  factory->Release();  // outside the lock: it may destroy the class object
  return S_OK;
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context,
                         REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  IUnknown* factory = nullptr;
  {
    ClassTable& table = Table();
    std::lock_guard<std::mutex> lock(table.mutex);
    for (const Registration& entry : table.entries) {
      if (IsEqualGUID(entry.clsid, clsid) && (entry.context & context) != 0) {
        factory = entry.factory;
        factory->AddRef();
        break;
      }
    }
  }
  if (factory == nullptr) return REGDB_E_CLASSNOTREG;
  IClassFactory* class_factory = nullptr;
  HRESULT hr = factory->QueryInterface(
      IID_IClassFactory, reinterpret_cast<void**>(&class_factory));
  factory->Release();
  if (FAILED(hr)) return hr;
  hr = class_factory->CreateInstance(outer, riid, object);
  class_factory->Release();
  return hr;
}

HRESULT OleRun(IUnknown* object) {
  return object != nullptr ? S_OK : E_INVALIDARG;
}
