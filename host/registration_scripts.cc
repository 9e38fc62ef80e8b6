#include "host/registration_scripts.h"

namespace qoinfo {

// The text of host/QoInfoAgent.rgs, which QoInfoAgent.exe also holds as its
// REGISTRY resource 101.
const char16_t kAppIdScript[] =
#include "app_id_script.inc"
    ;

const char16_t kClassScript[] = uR"(HKCR
{
  '%PROGID%' = s '%FriendlyName%'
  {
    CLSID = s '%CLSID%'
  }
  '%VIPROGID%' = s '%FriendlyName%'
  {
    CLSID = s '%CLSID%'
    CurVer = s '%PROGID%'
  }
  NoRemove CLSID
  {
    ForceRemove '%CLSID%' = s '%FriendlyName%'
    {
      ProgID = s '%PROGID%'
      VersionIndependentProgID = s '%VIPROGID%'
      ForceRemove Programmable
      '%MODULETYPE%' = s '%MODULE%'
      {
        val ThreadingModel = s 'free'
      }
      val AppID = s '%APPID%'
      TypeLib = s '%MODULEGUID%'
    }
  }
}
)";

const ServerClass kServerClasses[2] = {
    {u"{4AC0CA7E-E879-4C24-A4A4-EE202203F611}",
     u"QoInfoAgent.SearchDataEnumerator.1", u"QoInfoAgent.SearchDataEnumerator",
     u"CSearchDataEnumerator Object"},
    {u"{E0496837-6C93-4C59-8DE9-50E54295C207}", u"QoInfoAgent.ZuInfoAgent.1",
     u"QoInfoAgent.ZuInfoAgent", u"CZuInfoAgent Object"},
};

Replacements ModuleReplacements(const std::u16string& module_path) {
  Replacements replacements;
  replacements.Add(u"MODULE", u"\"" + module_path + u"\"");
  replacements.Add(u"Module_Raw", module_path);
  // The library's identifier is the application's.
  replacements.Add(u"MODULEGUID", kAppIdText);
  replacements.Add(u"MODULETYPE", u"LocalServer32");
  replacements.Add(u"APPID", kAppIdText);
  return replacements;
}

HRESULT RunClassScripts(const Replacements& module, ScriptDirection direction,
                        Registry& registry) {
  for (const ServerClass& server_class : kServerClasses) {
    Replacements replacements = module;
    replacements.Add(u"CLSID", server_class.clsid);
    replacements.Add(u"PROGID", server_class.prog_id);
    replacements.Add(u"VIPROGID", server_class.independent_prog_id);
    replacements.Add(u"FriendlyName", server_class.friendly_name);
    const HRESULT hr =
        RunRegistryScript(kClassScript, replacements, direction, registry);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

}  // namespace qoinfo
