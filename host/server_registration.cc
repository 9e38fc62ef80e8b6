#include "host/server_registration.h"

#include "host/registration_scripts.h"
#include "host/registry_tree.h"

namespace qoinfo {
namespace {

constexpr RegistryRoot kRoot = RegistryRoot::kClassesRoot;

HRESULT RegisterAppId(bool as_service, const Replacements& replacements,
                      Registry& registry, RegistrationPlatform& platform) {
  if (!platform.RemoveService()) return E_FAIL;
  std::u16string script;
  HRESULT hr = platform.AppIdScript(&script);
  if (SUCCEEDED(hr)) {
    hr = RunRegistryScript(script, replacements, ScriptDirection::kRegister,
                           registry);
  }
  if (SUCCEEDED(hr)) hr = registry.CreateKey(kRoot, kAppIdKey);
  if (SUCCEEDED(hr)) hr = registry.DeleteValue(kRoot, kAppIdKey, kLocalServiceValue);
  if (FAILED(hr) || !as_service) return hr;
  // A LocalService that cannot be written is no failure of the switch.
  registry.SetValue(kRoot, kAppIdKey, kLocalServiceValue, StringValue(kServiceName));
  return platform.InstallService() ? S_OK : E_FAIL;
}

HRESULT Register(bool as_service, Registry& registry,
                 RegistrationPlatform& platform) {
  std::u16string module;
  HRESULT hr = platform.ModulePath(&module);
  if (FAILED(hr)) return hr;
  const Replacements replacements = ModuleReplacements(module);
  hr = RegisterAppId(as_service, replacements, registry, platform);
  if (SUCCEEDED(hr)) {
    hr = RunClassScripts(replacements, ScriptDirection::kRegister, registry);
  }
  return SUCCEEDED(hr) ? platform.RegisterServerFiles() : hr;
}

HRESULT Unregister(Registry& registry, RegistrationPlatform& platform) {
  std::u16string module;
  HRESULT hr = platform.ModulePath(&module);
  if (FAILED(hr)) return hr;
  const Replacements replacements = ModuleReplacements(module);
  hr = RunClassScripts(replacements, ScriptDirection::kUnregister, registry);
  if (SUCCEEDED(hr)) hr = platform.UnregisterServerFiles();
  if (FAILED(hr)) return hr;
  if (!platform.RemoveService()) return E_FAIL;
  if (!registry.KeyExists(kRoot, kAppIdKey)) return kRegistryNotFound;
  hr = registry.DeleteValue(kRoot, kAppIdKey, kLocalServiceValue);
  std::u16string script;
  if (SUCCEEDED(hr)) hr = platform.AppIdScript(&script);
  if (FAILED(hr)) return hr;
  return RunRegistryScript(script, replacements, ScriptDirection::kUnregister,
                           registry);
}

}  // namespace

HRESULT RegistrationPlatform::AppIdScript(std::u16string* script) {
  *script = kAppIdScript;
  return S_OK;
}

HRESULT RunServerSwitch(ServerSwitch which, Registry& registry,
                        RegistrationPlatform& platform) {
  switch (which) {
    case ServerSwitch::kRegServer:
      return Register(false, registry, platform);
    case ServerSwitch::kService:
      return Register(true, registry, platform);
    case ServerSwitch::kUnregServer:
      return Unregister(registry, platform);
    case ServerSwitch::kNone:
    case ServerSwitch::kVersion:  // the servers answer it themselves
      break;
  }
  return S_OK;
}

HRESULT ReadServiceMode(Registry& registry, bool* as_service) {
  *as_service = false;
  if (!registry.KeyExists(kRoot, kAppIdKey)) return kRegistryNotFound;
  RegistryValue value;
  *as_service =
      SUCCEEDED(registry.GetValue(kRoot, kAppIdKey, kLocalServiceValue, &value)) &&
      value.type == RegistryValue::Type::kString && value.text.size() <= 259;
  return S_OK;
}

}  // namespace qoinfo
