#include "host/windows/registration_win.h"

#include "platform/com_base.h"

namespace qoinfo::win {
namespace {

std::u16string Text16(const std::wstring& text) {
  return std::u16string(reinterpret_cast<const char16_t*>(text.c_str()),
                        text.size());
}

std::u16string TypeLibKey(REFGUID libid) {
  return u"TypeLib\\" + Text16(GuidText(libid));
}

}  // namespace

HRESULT ModulePath(std::wstring* path) {
  wchar_t buffer[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
  if (length == 0) return HRESULT_FROM_WIN32(GetLastError());
  if (length >= MAX_PATH) return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
  path->assign(buffer, length);
  return S_OK;
}

std::wstring GuidText(REFGUID guid) {
  wchar_t text[40] = {};
  StringFromGUID2(guid, text, 40);
  return text;
}

HRESULT RegisterModuleTypeLibrary(Registry& registry, int resource) {
  std::wstring path;
  HRESULT hr = ModulePath(&path);
  if (FAILED(hr)) return hr;
  if (resource != 1) path += L"\\" + std::to_wstring(resource);
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
      const std::u16string key =
          TypeLibKey(attributes->guid) + u"\\" + Text16(version) + u"\\0\\" +
          (attributes->syskind == SYS_WIN64 ? u"win64" : u"win32");
      hr = registry.CreateKey(RegistryRoot::kClassesRoot, key);
      if (SUCCEEDED(hr)) {
        hr = registry.SetValue(RegistryRoot::kClassesRoot, key, u"",
                               StringValue(Text16(path)));
      }
    }
    library->ReleaseTLibAttr(attributes);
  }
  library->Release();
  return hr;
}

HRESULT UnregisterModuleTypeLibrary(REFGUID libid, LCID locale,
                                    Registry& registry) {
  // Nothing registered (a second unregistration): nothing to do. Wine
  // answers E_INVALIDARG for a library it cannot find.
  if (!registry.KeyExists(RegistryRoot::kClassesRoot, TypeLibKey(libid))) {
    return S_OK;
  }
  const SYSKIND platform = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;
  const HRESULT hr = UnRegisterTypeLib(libid, 1, 0, locale, platform);
  // The neutral-locale entry goes with the library's key, unless the system
  // left the key because of it.
  registry.DeleteKeyTree(RegistryRoot::kClassesRoot, TypeLibKey(libid));
  return hr == TYPE_E_REGISTRYACCESS ? S_OK : hr;
}

}  // namespace qoinfo::win
