#include "host/windows/agent_registration_win.h"

#include <windows.h>

#include "com/find_interface.h"
#include "com/interfaces.h"
#include "host/server_registration.h"
#include "host/windows/registration_win.h"
#include "host/windows/service_installer_win.h"
#include "host/windows/windows_registry_win.h"

namespace qoinfo::win {
namespace {

constexpr LCID kLibraryLocale = 0x0409;
// The executable's TYPELIB resource of the QoInfoFind library.
constexpr int kFindLibraryResource = 2;

// Deletes HKEY_CLASSES_ROOT\`key` in the registry's 32-bit view, which a
// 64-bit process's type-library registration also writes; S_OK when it is
// not there (and always in a 32-bit process, whose view it is anyway).
HRESULT DeleteThirtyTwoBitView(const std::u16string& key) {
  if (sizeof(void*) != 8) return S_OK;
  const std::wstring path(key.begin(), key.end());
  HKEY opened = nullptr;
  LONG error = RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0,
                             KEY_ALL_ACCESS | KEY_WOW64_32KEY, &opened);
  if (error == ERROR_FILE_NOT_FOUND) return S_OK;
  if (error != ERROR_SUCCESS) return HRESULT_FROM_WIN32(error);
  error = RegDeleteTreeW(opened, nullptr);
  RegCloseKey(opened);
  if (error == ERROR_SUCCESS) {
    error = RegDeleteKeyExW(HKEY_CLASSES_ROOT, path.c_str(), KEY_WOW64_32KEY, 0);
  }
  return error == ERROR_SUCCESS || error == ERROR_FILE_NOT_FOUND
             ? S_OK
             : HRESULT_FROM_WIN32(error);
}

// The text of the executable's resource `id` of type REGISTRY: UTF-16 when
// it opens with a byte-order mark, else UTF-8.
HRESULT LoadRegistryResource(UINT id, std::u16string* text) {
  const HMODULE module = GetModuleHandleW(nullptr);
  const HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), L"REGISTRY");
  const HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
  const void* data = loaded ? LockResource(loaded) : nullptr;
  if (data == nullptr) {
    const DWORD error = GetLastError();
    return error == ERROR_SUCCESS ? HRESULT_FROM_WIN32(ERROR_RESOURCE_DATA_NOT_FOUND)
                                  : HRESULT_FROM_WIN32(error);
  }
  const DWORD size = SizeofResource(module, found);
  const auto* bytes = static_cast<const unsigned char*>(data);
  if (size >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
    text->clear();
    for (DWORD i = 2; i + 1 < size; i += 2) {
      text->push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
    }
    return S_OK;
  }
  const char* chars = static_cast<const char*>(data);
  const int length = static_cast<int>(size);
  const int wide = MultiByteToWideChar(CP_UTF8, 0, chars, length, nullptr, 0);
  if (wide == 0 && length != 0) return HRESULT_FROM_WIN32(GetLastError());
  text->assign(static_cast<std::size_t>(wide), u'\0');
  MultiByteToWideChar(CP_UTF8, 0, chars, length,
                      reinterpret_cast<wchar_t*>(text->data()), wide);
  return S_OK;
}

class WindowsRegistration final : public RegistrationPlatform {
 public:
  WindowsRegistration(const std::wstring& service_name, Registry& registry)
      : service_(service_name), registry_(registry) {}

  HRESULT ModulePath(std::u16string* path) override {
    std::wstring module;
    const HRESULT hr = win::ModulePath(&module);
    if (SUCCEEDED(hr)) {
      path->assign(reinterpret_cast<const char16_t*>(module.c_str()),
                   module.size());
    }
    return hr;
  }
  bool RemoveService() override { return service_.Remove(); }
  bool InstallService() override { return service_.Install(); }
  // The published library, then our own library of IFind beside it.
  HRESULT RegisterServerFiles() override {
    const HRESULT hr = RegisterModuleTypeLibrary(registry_);
    if (FAILED(hr)) return hr;
    return RegisterModuleTypeLibrary(registry_, kFindLibraryResource);
  }
  HRESULT UnregisterServerFiles() override {
    HRESULT find = UnregisterModuleTypeLibrary(LIBID_QoInfoFind,
                                               kLibraryLocale, registry_);
    // UnRegisterTypeLib may leave this library's interface key behind (wine
    // does, for the library of a second TYPELIB resource), in the 64-bit
    // view and, for a 64-bit server, in the 32-bit view registration also
    // wrote: both go here; S_OK when they are gone already.
    const std::wstring iid = GuidText(IID_IFind);
    const std::u16string key =
        u"Interface\\" + std::u16string(iid.begin(), iid.end());
    HRESULT interface_key =
        registry_.DeleteKeyTree(RegistryRoot::kClassesRoot, key);
    if (SUCCEEDED(interface_key)) interface_key = DeleteThirtyTwoBitView(key);
    if (SUCCEEDED(find)) find = interface_key;
    const HRESULT published = UnregisterModuleTypeLibrary(
        LIBID_QoInfoAgent, kLibraryLocale, registry_);
    return FAILED(published) ? published : find;
  }
  HRESULT AppIdScript(std::u16string* script) override {
    return LoadRegistryResource(kAppIdScriptResource, script);
  }

 private:
  const ServiceInstaller service_;
  Registry& registry_;
};

}  // namespace

HRESULT RunAgentSwitch(ServerSwitch which, const std::wstring& service_name) {
  WindowsRegistry registry;
  WindowsRegistration platform(service_name, registry);
  return RunServerSwitch(which, registry, platform);
}

}  // namespace qoinfo::win
