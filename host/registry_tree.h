// A registry held in memory: the keys of each root with their typed values,
// names compared without regard to case and kept as first written. It
// reads and writes itself as a registration script (registry_script.h),
// which is how the file-backed registry stores it. Not thread-safe.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "host/registry.h"

namespace qoinfo {

// HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND): no such key or value.
inline constexpr HRESULT kRegistryNotFound = static_cast<HRESULT>(0x80070002u);

class RegistryTree : public Registry {
 public:
  HRESULT CreateKey(RegistryRoot root, const std::u16string& path) override;
  bool KeyExists(RegistryRoot root, const std::u16string& path) override;
  HRESULT SetValue(RegistryRoot root, const std::u16string& path,
                   const std::u16string& name,
                   const RegistryValue& value) override;
  HRESULT GetValue(RegistryRoot root, const std::u16string& path,
                   const std::u16string& name, RegistryValue* value) override;
  HRESULT DeleteValue(RegistryRoot root, const std::u16string& path,
                      const std::u16string& name) override;
  HRESULT DeleteKeyTree(RegistryRoot root, const std::u16string& path) override;
  HRESULT EnumerateSubkeys(RegistryRoot root, const std::u16string& path,
                           std::vector<std::u16string>* names) override;

  // The script that registers exactly this tree: keys sorted by folded
  // name, every name and text quoted.
  std::u16string ToScript() const;
  // Replaces the tree by what `script` registers; kRegistryScriptError
  // (the tree left empty) when it does not parse.
  HRESULT FromScript(std::u16string_view script, std::string* why = nullptr);

 private:
  struct Key {
    std::u16string name;
    std::map<std::u16string, std::pair<std::u16string, RegistryValue>> values;
    std::map<std::u16string, Key> children;  // by folded name
  };

  // The key at `path`, or null; `create` adds the missing keys.
  Key* Find(RegistryRoot root, const std::u16string& path, bool create);
  static void Write(const Key& key, int depth, std::u16string* out);

  std::map<RegistryRoot, Key> roots_;
};

}  // namespace qoinfo
