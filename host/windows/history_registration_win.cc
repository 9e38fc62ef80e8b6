#include "host/windows/history_registration_win.h"

#include <string>

#include "host/registry_script.h"
#include "host/windows/registration_win.h"
#include "host/windows/windows_registry_win.h"

namespace qoinfo::win {
namespace {

constexpr GUID kLibraryGuid = {
    0x6E0A3F72, 0x2C1B, 0x4D8E, {0x9A, 0x57, 0xB3, 0xC4, 0xD5, 0xE6, 0xF7, 0x18}};

constexpr char16_t kHistoryScript[] = uR"(HKCR
{
  'BromHelper.URLBase.1' = s 'BromURLBase Object'
  {
    CLSID = s '{9F1366DD-E157-4962-84F5-57066BB8506A}'
  }
  'BromHelper.URLBase' = s 'BromURLBase Object'
  {
    CLSID = s '{9F1366DD-E157-4962-84F5-57066BB8506A}'
    CurVer = s 'BromHelper.URLBase.1'
  }
  NoRemove CLSID
  {
    ForceRemove '{9F1366DD-E157-4962-84F5-57066BB8506A}' = s 'BromURLBase Object'
    {
      ProgID = s 'BromHelper.URLBase.1'
      VersionIndependentProgID = s 'BromHelper.URLBase'
      LocalServer32 = s '%MODULE%'
      TypeLib = s '{6E0A3F72-2C1B-4D8E-9A57-B3C4D5E6F718}'
    }
  }
}
)";

HRESULT RunHistoryScript(ScriptDirection direction, Registry& registry) {
  std::wstring module;
  const HRESULT hr = ModulePath(&module);
  if (FAILED(hr)) return hr;
  Replacements replacements;
  replacements.Add(u"MODULE",
                   u"\"" +
                       std::u16string(
                           reinterpret_cast<const char16_t*>(module.c_str()),
                           module.size()) +
                       u"\"");
  return RunRegistryScript(kHistoryScript, replacements, direction, registry);
}

}  // namespace

HRESULT RegisterHistoryServer() {
  WindowsRegistry registry;
  const HRESULT hr = RunHistoryScript(ScriptDirection::kRegister, registry);
  return FAILED(hr) ? hr : RegisterModuleTypeLibrary(registry);
}

HRESULT UnregisterHistoryServer() {
  WindowsRegistry registry;
  const HRESULT hr = RunHistoryScript(ScriptDirection::kUnregister, registry);
  return FAILED(hr) ? hr : UnregisterModuleTypeLibrary(kLibraryGuid, 0, registry);
}

}  // namespace qoinfo::win
