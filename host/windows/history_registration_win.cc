#include "host/windows/history_registration_win.h"

namespace qoinfo::win {
namespace {

using Mark = RegistryKey::Mark;

constexpr wchar_t kClsid[] = L"{9F1366DD-E157-4962-84F5-57066BB8506A}";
constexpr wchar_t kLibId[] = L"{6E0A3F72-2C1B-4D8E-9A57-B3C4D5E6F718}";
constexpr GUID kLibraryGuid = {
    0x6E0A3F72, 0x2C1B, 0x4D8E, {0x9A, 0x57, 0xB3, 0xC4, 0xD5, 0xE6, 0xF7, 0x18}};
constexpr wchar_t kName[] = L"BromURLBase Object";
constexpr wchar_t kProgId[] = L"BromHelper.URLBase.1";
constexpr wchar_t kVersionIndependentProgId[] = L"BromHelper.URLBase";

}  // namespace

std::vector<RegistryKey> HistoryClassKeys(const std::wstring& module) {
  return {
      {kProgId, Mark::kNone, {{L"", kName}},
       {{L"CLSID", Mark::kNone, {{L"", kClsid}}, {}}}},
      {kVersionIndependentProgId, Mark::kNone, {{L"", kName}},
       {{L"CLSID", Mark::kNone, {{L"", kClsid}}, {}},
        {L"CurVer", Mark::kNone, {{L"", kProgId}}, {}}}},
      {L"CLSID", Mark::kNeverRemove, {},
       {{kClsid, Mark::kForceRemove, {{L"", kName}},
         {{L"ProgID", Mark::kNone, {{L"", kProgId}}, {}},
          {L"VersionIndependentProgID", Mark::kNone,
           {{L"", kVersionIndependentProgId}}, {}},
          {L"LocalServer32", Mark::kNone, {{L"", module}}, {}},
          {L"TypeLib", Mark::kNone, {{L"", kLibId}}, {}}}}}},
  };
}

HRESULT RegisterHistoryServer() {
  std::wstring module;
  HRESULT hr = QuotedModulePath(&module);
  if (FAILED(hr)) return hr;
  hr = WriteRegistryKeys(HKEY_CLASSES_ROOT, HistoryClassKeys(module));
  if (FAILED(hr)) return hr;
  return RegisterModuleTypeLibrary();
}

HRESULT UnregisterHistoryServer() {
  std::wstring module;
  HRESULT hr = QuotedModulePath(&module);
  if (FAILED(hr)) return hr;
  hr = RemoveRegistryKeys(HKEY_CLASSES_ROOT, HistoryClassKeys(module));
  if (FAILED(hr)) return hr;
  return UnregisterModuleTypeLibrary(kLibraryGuid, 0);
}

}  // namespace qoinfo::win
