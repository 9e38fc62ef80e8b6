// What the servers' registration writes under HKEY_CLASSES_ROOT, as a tree
// of keys with the two marks of the registration scripts: a never-remove key
// is created when missing and left in place at unregistration; a
// force-remove key is deleted with its subtree before it is written. Any
// other key is created or opened, and deleted with everything below it at
// unregistration (its listed children first). Values are strings; a value
// with an empty name is the key's default value.
//
// Also the pieces every registration run needs: the module's path and its
// type library. Main thread only.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace qoinfo::win {

struct RegistryKey {
  enum class Mark { kNone, kNeverRemove, kForceRemove };
  std::wstring name;
  Mark mark = Mark::kNone;
  std::vector<std::pair<std::wstring, std::wstring>> values;
  std::vector<RegistryKey> children;
};

// Writes `keys` below `root`: S_OK or the first failure.
HRESULT WriteRegistryKeys(HKEY root, const std::vector<RegistryKey>& keys);
// Removes `keys` below `root`; keys already gone are no failure.
HRESULT RemoveRegistryKeys(HKEY root, const std::vector<RegistryKey>& keys);

// The executable's full path (at most 259 characters): S_OK, the system's
// error, or 0x8007007A when the path fills the buffer.
HRESULT ModulePath(std::wstring* path);
// The same enclosed in double quotes, as the registry holds it.
HRESULT QuotedModulePath(std::wstring* path);

// Registers the type library in the executable's resource TYPELIB 1. Wine's
// automation marshaller looks a library up under the neutral locale only,
// so a library with a locale of its own is entered under locale 0 too.
HRESULT RegisterModuleTypeLibrary();
// Removes what RegisterModuleTypeLibrary wrote for `libid` 1.0.
HRESULT UnregisterModuleTypeLibrary(REFGUID libid, LCID locale);

// "{XXXXXXXX-...}" in upper case.
std::wstring GuidText(REFGUID guid);

}  // namespace qoinfo::win
