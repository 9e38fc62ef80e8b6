// What every registration run of the Windows servers needs beside the
// registration scripts: the module's path and its type library. Main
// thread only.
#pragma once

#include <windows.h>

#include <string>

#include "host/registry.h"

namespace qoinfo::win {

// The executable's full path (at most 259 characters): S_OK, the system's
// error, or 0x8007007A when the path fills the buffer.
HRESULT ModulePath(std::wstring* path);

// Registers the type library in the executable's resource TYPELIB
// `resource` (named "<path>\\<resource>" beyond the first). Wine's
// automation marshaller looks a library up under the neutral locale only,
// so a library with a locale of its own is entered under locale 0 too.
HRESULT RegisterModuleTypeLibrary(Registry& registry, int resource = 1);
// Removes what RegisterModuleTypeLibrary wrote for `libid` 1.0; S_OK when
// nothing is registered.
HRESULT UnregisterModuleTypeLibrary(REFGUID libid, LCID locale,
                                    Registry& registry);

// "{XXXXXXXX-...}" in upper case.
std::wstring GuidText(REFGUID guid);

}  // namespace qoinfo::win
