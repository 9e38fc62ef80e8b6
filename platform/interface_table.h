// Table-driven QueryInterface: an object lists the interfaces it answers,
// each with the cast that finds it, and this walks the list. The first row
// also answers IID_IUnknown, so that every request for the object's
// identity gets the same pointer.
#pragma once

#include <cstddef>

#include "platform/com_base.h"

namespace platform {

template <typename Object>
struct InterfaceEntry {
  const IID* iid;
  IUnknown* (*get)(Object* object);
};

// Sets *interface_out to the matching interface with one reference added,
// or to null with E_NOINTERFACE; E_POINTER for a null out pointer.
template <typename Object, std::size_t N>
HRESULT QueryInterfaceFromTable(Object* object,
                                const InterfaceEntry<Object> (&table)[N],
                                REFIID riid, void** interface_out) {
  if (interface_out == nullptr) return E_POINTER;
  *interface_out = nullptr;
  IUnknown* found = nullptr;
  if (IsEqualGUID(riid, IID_IUnknown)) {
    found = table[0].get(object);
  } else {
    for (const InterfaceEntry<Object>& entry : table) {
      if (IsEqualGUID(riid, *entry.iid)) {
        found = entry.get(object);
        break;
      }
    }
  }
  if (found == nullptr) return E_NOINTERFACE;
  found->AddRef();
  *interface_out = found;
  return S_OK;
}

}  // namespace platform
