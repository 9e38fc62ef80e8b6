// Windows tests of late-bound calls: this executable's own type library
// (its TYPELIB resource), registered for a suite, and the GUID a type
// description describes.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>

#include "com/interfaces.h"

namespace qoinfo::testing {

inline std::wstring ModulePath() {
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return path;
}

inline HRESULT RegisterOwnTypeLibrary() {
  ITypeLib* library = nullptr;
  const HRESULT hr =
      LoadTypeLibEx(ModulePath().c_str(), REGKIND_REGISTER, &library);
  if (library != nullptr) library->Release();
  return hr;
}

inline HRESULT UnregisterOwnTypeLibrary() {
  return UnRegisterTypeLib(LIBID_QoInfoAgent, 1, 0, 0x0409,
                           sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
}

inline GUID TypeGuid(ITypeInfo* info) {
  TYPEATTR* attr = nullptr;
  GUID guid{};
  if (info->GetTypeAttr(&attr) == S_OK) {
    guid = attr->guid;
    info->ReleaseTypeAttr(attr);
  }
  return guid;
}

}  // namespace qoinfo::testing
