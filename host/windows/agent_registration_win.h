// QoInfoAgent.exe's registration switches. RegServer: remove the service if
// installed, write the application identity (AppID), delete LocalService,
// write both classes (enumerator first) and register the type library from
// the executable. Service: the same, but LocalService is written and the
// service installed. UnregServer: remove the classes and the type library,
// the service, LocalService and the application identity. Each stops at its
// first failing step, whose HRESULT is the result.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "host/command_switches.h"
#include "host/windows/registration_win.h"

namespace qoinfo::win {

HRESULT RunAgentSwitch(ServerSwitch which, const std::wstring& service_name);

// The entries of the application identity and of the two classes, for the
// quoted module path `module`.
std::vector<RegistryKey> AppIdKeys();
std::vector<RegistryKey> AgentClassKeys(const std::wstring& module);

}  // namespace qoinfo::win
