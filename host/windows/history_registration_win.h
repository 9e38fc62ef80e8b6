// BromHelper.exe's registration: the class of our history component
// (CLSID {9F1366DD-E157-4962-84F5-57066BB8506A}, ProgID "BromHelper.URLBase")
// served by this executable as a local server, written by a registration
// script through the same interpreter as the agent's, and its type library,
// which lets the automation marshaller carry IBromURLBase. Unregistration
// removes both. Each stops at its first failure.
#pragma once

#include <windows.h>

namespace qoinfo::win {

HRESULT RegisterHistoryServer();
HRESULT UnregisterHistoryServer();

}  // namespace qoinfo::win
