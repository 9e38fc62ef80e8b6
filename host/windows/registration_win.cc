#include "host/windows/registration_win.h"

#include "platform/com_base.h"

namespace qoinfo::win {
namespace {

HRESULT FromError(LONG error) {
  return error == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(error);
}

HRESULT WriteKey(HKEY parent, const RegistryKey& key) {
  if (key.mark == RegistryKey::Mark::kForceRemove) {
    RegDeleteTreeW(parent, key.name.c_str());
    RegDeleteKeyW(parent, key.name.c_str());
  }
  HKEY handle = nullptr;
  LONG error = RegCreateKeyExW(parent, key.name.c_str(), 0, nullptr, 0,
                               KEY_READ | KEY_WRITE, nullptr, &handle, nullptr);
  if (error != ERROR_SUCCESS) return FromError(error);
  HRESULT hr = S_OK;
  for (const auto& [name, text] : key.values) {
    error = RegSetValueExW(handle, name.empty() ? nullptr : name.c_str(), 0,
                           REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                           static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    if (error != ERROR_SUCCESS) {
      hr = FromError(error);
      break;
    }
  }
  if (SUCCEEDED(hr)) hr = WriteRegistryKeys(handle, key.children);
  RegCloseKey(handle);
  return hr;
}

HRESULT RemoveKey(HKEY parent, const RegistryKey& key) {
  if (key.mark != RegistryKey::Mark::kNeverRemove) {
    const LONG error = RegDeleteTreeW(parent, key.name.c_str());
    if (error == ERROR_FILE_NOT_FOUND) return S_OK;
    if (error != ERROR_SUCCESS) return FromError(error);
    RegDeleteKeyW(parent, key.name.c_str());
    return S_OK;
  }
  HKEY handle = nullptr;
  const LONG error = RegOpenKeyExW(parent, key.name.c_str(), 0,
                                   KEY_READ | KEY_WRITE, &handle);
  if (error == ERROR_FILE_NOT_FOUND) return S_OK;
  if (error != ERROR_SUCCESS) return FromError(error);
  const HRESULT hr = RemoveRegistryKeys(handle, key.children);
  RegCloseKey(handle);
  return hr;
}

}  // namespace

HRESULT WriteRegistryKeys(HKEY root, const std::vector<RegistryKey>& keys) {
  for (const RegistryKey& key : keys) {
    const HRESULT hr = WriteKey(root, key);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

HRESULT RemoveRegistryKeys(HKEY root, const std::vector<RegistryKey>& keys) {
  for (const RegistryKey& key : keys) {
    const HRESULT hr = RemoveKey(root, key);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

HRESULT ModulePath(std::wstring* path) {
  wchar_t buffer[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
  if (length == 0) return HRESULT_FROM_WIN32(GetLastError());
  if (length >= MAX_PATH) return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
  path->assign(buffer, length);
  return S_OK;
}

HRESULT QuotedModulePath(std::wstring* path) {
  const HRESULT hr = ModulePath(path);
  if (SUCCEEDED(hr)) *path = L"\"" + *path + L"\"";
  return hr;
}

std::wstring GuidText(REFGUID guid) {
  wchar_t text[40] = {};
  StringFromGUID2(guid, text, 40);
  return text;
}

HRESULT RegisterModuleTypeLibrary() {
  std::wstring path;
  HRESULT hr = ModulePath(&path);
  if (FAILED(hr)) return hr;
  ITypeLib* library = nullptr;
  hr = LoadTypeLibEx(path.c_str(), REGKIND_REGISTER, &library);
  if (FAILED(hr)) return hr;
  TLIBATTR* attributes = nullptr;
  hr = library->GetLibAttr(&attributes);
  if (SUCCEEDED(hr)) {
    if (attributes->lcid != 0) {
      wchar_t version[16];
      wsprintfW(version, L"%x.%x", attributes->wMajorVerNum,
                attributes->wMinorVerNum);
      const std::wstring platform =
          attributes->syskind == SYS_WIN64 ? L"win64" : L"win32";
      const std::wstring key = L"TypeLib\\" + GuidText(attributes->guid) +
                               L"\\" + version + L"\\0\\" + platform;
      hr = WriteRegistryKeys(HKEY_CLASSES_ROOT,
                             {{key, RegistryKey::Mark::kNone, {{L"", path}}, {}}});
    }
    library->ReleaseTLibAttr(attributes);
  }
  library->Release();
  return hr;
}

HRESULT UnregisterModuleTypeLibrary(REFGUID libid, LCID locale) {
  const SYSKIND platform = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;
  const HRESULT hr = UnRegisterTypeLib(libid, 1, 0, locale, platform);
  // The neutral-locale entry goes with the library's key, unless the system
  // left the key because of it.
  RemoveRegistryKeys(HKEY_CLASSES_ROOT,
                     {{L"TypeLib\\" + GuidText(libid), RegistryKey::Mark::kNone, {}, {}}});
  return hr == TYPE_E_REGISTRYACCESS ? S_OK : hr;
}

}  // namespace qoinfo::win
