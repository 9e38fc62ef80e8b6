// QoInfoAgent.exe's registration switches, run by the shared steps of
// host/server_registration.h over the real registry (HKEY_CLASSES_ROOT).
// The platform's part: the executable's path; the application identity
// script from its own REGISTRY resource 101 (host/QoInfoAgent.rgs); the
// service installed or removed through the service control manager, with
// a message box for each problem; and the type libraries registered from
// its TYPELIB resources: the published QoInfoAgent library (1) and our own
// QoInfoFind library of IFind (2). Main thread only.
#pragma once

#include <windows.h>

#include <string>

#include "host/command_switches.h"

namespace qoinfo::win {

// Resource identifier of the application identity script (type REGISTRY).
inline constexpr UINT kAppIdScriptResource = 101;

// The switch's HRESULT: S_OK, or that of its first failing step.
HRESULT RunAgentSwitch(ServerSwitch which, const std::wstring& service_name);

}  // namespace qoinfo::win
