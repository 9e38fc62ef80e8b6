#include "host/windows/agent_registration_win.h"

#include "host/idl/interfaces.h"
#include "host/windows/service_installer_win.h"

namespace qoinfo::win {
namespace {

using Mark = RegistryKey::Mark;

constexpr wchar_t kAppId[] = L"{12F97166-B0F9-4C8D-ADB1-7142444751C8}";
constexpr LCID kLibraryLocale = 0x0409;

struct ClassIdentity {
  const wchar_t* clsid;
  const wchar_t* friendly_name;
  const wchar_t* prog_id;
  const wchar_t* version_independent_prog_id;
};

// In the order of the class table.
const ClassIdentity kClasses[] = {
    {L"{4AC0CA7E-E879-4C24-A4A4-EE202203F611}", L"CSearchDataEnumerator Object",
     L"QoInfoAgent.SearchDataEnumerator.1", L"QoInfoAgent.SearchDataEnumerator"},
    {L"{E0496837-6C93-4C59-8DE9-50E54295C207}", L"CZuInfoAgent Object",
     L"QoInfoAgent.ZuInfoAgent.1", L"QoInfoAgent.ZuInfoAgent"},
};

std::vector<RegistryKey> ClassKeys(const ClassIdentity& c,
                                   const std::wstring& module) {
  return {
      {c.prog_id, Mark::kNone, {{L"", c.friendly_name}},
       {{L"CLSID", Mark::kNone, {{L"", c.clsid}}, {}}}},
      {c.version_independent_prog_id, Mark::kNone, {{L"", c.friendly_name}},
       {{L"CLSID", Mark::kNone, {{L"", c.clsid}}, {}},
        {L"CurVer", Mark::kNone, {{L"", c.prog_id}}, {}}}},
      {L"CLSID", Mark::kNeverRemove, {},
       {{c.clsid, Mark::kForceRemove, {{L"", c.friendly_name}, {L"AppID", kAppId}},
         {{L"ProgID", Mark::kNone, {{L"", c.prog_id}}, {}},
          {L"VersionIndependentProgID", Mark::kNone,
           {{L"", c.version_independent_prog_id}}, {}},
          {L"Programmable", Mark::kForceRemove, {}, {}},
          {L"LocalServer32", Mark::kNone,
           {{L"", module}, {L"ThreadingModel", L"free"}}, {}},
          {L"TypeLib", Mark::kNone, {{L"", kAppId}}, {}}}}}},
  };
}

// HKCR\AppID\{AppID}, opened (or created) for reading and writing.
HRESULT OpenAppIdKey(bool create, HKEY* key) {
  HKEY app_ids = nullptr;
  LONG error = RegOpenKeyExW(HKEY_CLASSES_ROOT, L"AppID", 0, KEY_WRITE, &app_ids);
  if (error == ERROR_SUCCESS) {
    error = create ? RegCreateKeyExW(app_ids, kAppId, 0, nullptr, 0,
                                     KEY_READ | KEY_WRITE, nullptr, key, nullptr)
                   : RegOpenKeyExW(app_ids, kAppId, 0, KEY_WRITE, key);
    RegCloseKey(app_ids);
  }
  return error == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(error);
}

HRESULT RegisterClassesAndLibrary() {
  std::wstring module;
  HRESULT hr = QuotedModulePath(&module);
  if (FAILED(hr)) return hr;
  hr = WriteRegistryKeys(HKEY_CLASSES_ROOT, AgentClassKeys(module));
  if (FAILED(hr)) return hr;
  return RegisterModuleTypeLibrary();
}

// Registers the application identity; with `as_service` also LocalService
// and the service itself.
HRESULT RegisterAppId(const ServiceInstaller& service, bool as_service,
                      const std::wstring& service_name) {
  if (!service.Remove()) return E_FAIL;
  HRESULT hr = WriteRegistryKeys(HKEY_CLASSES_ROOT, AppIdKeys());
  if (FAILED(hr)) return hr;
  HKEY key = nullptr;
  hr = OpenAppIdKey(true, &key);
  if (FAILED(hr)) return hr;
  RegDeleteValueW(key, L"LocalService");
  if (as_service) {
    RegSetValueExW(key, L"LocalService", 0, REG_SZ,
                   reinterpret_cast<const BYTE*>(service_name.c_str()),
                   static_cast<DWORD>((service_name.size() + 1) * sizeof(wchar_t)));
  }
  RegCloseKey(key);
  if (as_service && !service.Install()) return E_FAIL;
  return S_OK;
}

HRESULT Unregister(const ServiceInstaller& service) {
  std::wstring module;
  HRESULT hr = QuotedModulePath(&module);
  if (FAILED(hr)) return hr;
  hr = RemoveRegistryKeys(HKEY_CLASSES_ROOT, AgentClassKeys(module));
  if (FAILED(hr)) return hr;
  hr = UnregisterModuleTypeLibrary(LIBID_QoInfoAgent, kLibraryLocale);
  if (FAILED(hr)) return hr;
  if (!service.Remove()) return E_FAIL;
  HKEY key = nullptr;
  hr = OpenAppIdKey(false, &key);
  if (FAILED(hr)) return hr;
  RegDeleteValueW(key, L"LocalService");
  RegCloseKey(key);
  return RemoveRegistryKeys(HKEY_CLASSES_ROOT, AppIdKeys());
}

}  // namespace

std::vector<RegistryKey> AppIdKeys() {
  return {{L"AppID", Mark::kNeverRemove, {},
           {{kAppId, Mark::kNone, {{L"", L"QoInfoAgent"}}, {}},
            {L"QoInfoAgent.EXE", Mark::kNone, {{L"AppID", kAppId}}, {}}}}};
}

std::vector<RegistryKey> AgentClassKeys(const std::wstring& module) {
  std::vector<RegistryKey> keys;
  for (const ClassIdentity& identity : kClasses) {
    for (RegistryKey& key : ClassKeys(identity, module)) {
      keys.push_back(std::move(key));
    }
  }
  return keys;
}

HRESULT RunAgentSwitch(ServerSwitch which, const std::wstring& service_name) {
  const ServiceInstaller service(service_name);
  switch (which) {
    case ServerSwitch::kUnregServer:
      return Unregister(service);
    case ServerSwitch::kRegServer:
    case ServerSwitch::kService: {
      const HRESULT hr = RegisterAppId(service, which == ServerSwitch::kService,
                                       service_name);
      return FAILED(hr) ? hr : RegisterClassesAndLibrary();
    }
    case ServerSwitch::kNone:
      break;
  }
  return S_OK;
}

}  // namespace qoinfo::win
