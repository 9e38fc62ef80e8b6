#include <windows.h>

#include <filesystem>
#include <string>
#include <system_error>

#include "host/windows/windows_registry_win.h"
#include "platform/environment.h"
#include "tools/qoinfo/manifest_places.h"

namespace qoinfo::tools {
namespace {

namespace fs = std::filesystem;

// The key under HKEY_CURRENT_USER where each browser looks for hosts.
const char16_t* BrowserKey(Browser browser) {
  switch (browser) {
    case Browser::kChromium:
      return u"Software\\Chromium\\NativeMessagingHosts\\";
    case Browser::kChrome:
      return u"Software\\Google\\Chrome\\NativeMessagingHosts\\";
    case Browser::kFirefox:
      return u"Software\\Mozilla\\NativeMessagingHosts\\";
  }
  return u"";
}

std::u16string Ascii(const char* text) {
  return std::u16string(text, text + std::char_traits<char>::length(text));
}

}  // namespace

std::u16string ProgramFolder() {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (length == 0 || length == MAX_PATH) return std::u16string();
  return fs::path(path).parent_path().u16string();
}

bool FindManifestPlace(Browser browser, ManifestPlace* place,
                       std::string* why) {
  std::u16string local;
  if (!platform::GetEnvironment("LOCALAPPDATA", &local) || local.empty()) {
    *why = "LOCALAPPDATA names no folder";
    return false;
  }
  place->file = local + u"\\QoInfoAgent\\NativeMessagingHosts\\" +
                Ascii(BrowserName(browser)) + u"\\" + Ascii(kNativeHostName) +
                u".json";
  place->registry_key = BrowserKey(browser) + Ascii(kNativeHostName);
  return true;
}

HRESULT RegisterManifestPlace(const ManifestPlace& place) {
  win::WindowsRegistry registry;
  HRESULT hr =
      registry.CreateKey(RegistryRoot::kCurrentUser, place.registry_key);
  if (FAILED(hr)) return hr;
  return registry.SetValue(RegistryRoot::kCurrentUser, place.registry_key, u"",
                           StringValue(place.file));
}

HRESULT UnregisterManifestPlace(const ManifestPlace& place) {
  return win::WindowsRegistry().DeleteKeyTree(RegistryRoot::kCurrentUser,
                                              place.registry_key);
}

const char kProgramSuffix[] = ".exe";

}  // namespace qoinfo::tools
