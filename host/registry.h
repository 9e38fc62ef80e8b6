// A registry: a tree of keys under a few roots, each key holding a default
// value, named typed values and child keys. The registration scripts write
// through this interface, so the Windows server puts the real registry
// behind it and the Linux server a tree kept in one file. Key paths are
// relative to their root, with '\' between key names, which compare without
// regard to case. Not thread-safe: one registration run uses it at a time.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/com_base.h"

namespace qoinfo {

enum class RegistryRoot {
  kClassesRoot,
  kCurrentUser,
  kLocalMachine,
  kUsers,
  kCurrentConfig,
};

// One value: a string, a 32-bit number or bytes.
struct RegistryValue {
  enum class Type { kString, kNumber, kBytes };
  Type type = Type::kString;
  std::u16string text;
  std::uint32_t number = 0;
  std::vector<std::uint8_t> bytes;

  bool operator==(const RegistryValue&) const = default;
};

inline RegistryValue StringValue(std::u16string text) {
  RegistryValue value;
  value.text = std::move(text);
  return value;
}

// The form under which key, value and replacement names compare: ASCII
// letters upper-cased (the names written here are ASCII).
inline std::u16string FoldRegistryName(std::u16string_view name) {
  std::u16string folded(name);
  for (char16_t& c : folded) {
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  }
  return folded;
}

class Registry {
 public:
  virtual ~Registry() = default;

  // Creates the key and any missing key above it; S_OK when it exists.
  virtual HRESULT CreateKey(RegistryRoot root, const std::u16string& path) = 0;
  virtual bool KeyExists(RegistryRoot root, const std::u16string& path) = 0;
  // `name` empty: the key's default value. The key must exist.
  virtual HRESULT SetValue(RegistryRoot root, const std::u16string& path,
                           const std::u16string& name,
                           const RegistryValue& value) = 0;
  // The value named `name`; a failure HRESULT when the key or value is absent.
  virtual HRESULT GetValue(RegistryRoot root, const std::u16string& path,
                           const std::u16string& name, RegistryValue* value) = 0;
  // S_OK also when the key or the value is absent.
  virtual HRESULT DeleteValue(RegistryRoot root, const std::u16string& path,
                              const std::u16string& name) = 0;
  // Deletes the key with its values and every key below it; S_OK when absent.
  virtual HRESULT DeleteKeyTree(RegistryRoot root,
                                const std::u16string& path) = 0;
  // The names of the key's child keys, in the registry's order.
  virtual HRESULT EnumerateSubkeys(RegistryRoot root, const std::u16string& path,
                                   std::vector<std::u16string>* names) = 0;
};

}  // namespace qoinfo
