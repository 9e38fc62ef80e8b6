// The server's registration scripts and the replacements they are run
// with: the application identity script (the AppID keys) and the class
// script that both classes share, its class-specific strings given as
// replacements. The same texts serve the Windows registry and the file
// registry of the Linux server. Pure data and functions; thread-safe.
#pragma once

#include <string>

#include "host/registry_script.h"

namespace qoinfo {

inline constexpr char16_t kServiceName[] = u"QoInfoAgent";
inline constexpr char16_t kAppIdText[] = u"{12F97166-B0F9-4C8D-ADB1-7142444751C8}";
// The AppID key below HKEY_CLASSES_ROOT; LocalService is a value of it.
inline constexpr char16_t kAppIdKey[] =
    u"AppID\\{12F97166-B0F9-4C8D-ADB1-7142444751C8}";
inline constexpr char16_t kLocalServiceValue[] = u"LocalService";

// The application identity script: the text of host/QoInfoAgent.rgs.
extern const char16_t kAppIdScript[];
extern const char16_t kClassScript[];

// One class of the server as the class script registers it.
struct ServerClass {
  const char16_t* clsid;
  const char16_t* prog_id;
  const char16_t* independent_prog_id;
  const char16_t* friendly_name;
};

// In class-table order: the enumerator, then the agent.
extern const ServerClass kServerClasses[2];

// MODULE (the quoted path), Module_Raw, MODULEGUID, MODULETYPE and APPID
// for the executable at `module_path`.
Replacements ModuleReplacements(const std::u16string& module_path);

// Runs the class script for each class, in class-table order, with the
// class's strings added to `module`; stops at the first failure.
HRESULT RunClassScripts(const Replacements& module, ScriptDirection direction,
                        Registry& registry);

}  // namespace qoinfo
