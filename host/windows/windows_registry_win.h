// The real Windows registry behind the Registry interface: the roots are the
// predefined keys (HKEY_CLASSES_ROOT, ...), strings are REG_SZ, numbers
// REG_DWORD and bytes REG_BINARY. Each call opens and closes its key; no
// state is kept, so any thread may use its own instance.
#pragma once

#include <windows.h>

#include "host/registry.h"

namespace qoinfo::win {

class WindowsRegistry final : public Registry {
 public:
  HRESULT CreateKey(RegistryRoot root, const std::u16string& path) override;
  bool KeyExists(RegistryRoot root, const std::u16string& path) override;
  HRESULT SetValue(RegistryRoot root, const std::u16string& path,
                   const std::u16string& name,
                   const RegistryValue& value) override;
  // REG_SZ and REG_EXPAND_SZ read as strings (without the terminating
  // NULs), REG_DWORD as a number, any other type as bytes.
  HRESULT GetValue(RegistryRoot root, const std::u16string& path,
                   const std::u16string& name, RegistryValue* value) override;
  HRESULT DeleteValue(RegistryRoot root, const std::u16string& path,
                      const std::u16string& name) override;
  HRESULT DeleteKeyTree(RegistryRoot root, const std::u16string& path) override;
  HRESULT EnumerateSubkeys(RegistryRoot root, const std::u16string& path,
                           std::vector<std::u16string>* names) override;
};

}  // namespace qoinfo::win
