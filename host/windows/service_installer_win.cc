#include "host/windows/service_installer_win.h"

#include <windows.h>

namespace qoinfo::win {
namespace {

// Identifiers of the message texts, looked up as string resources first.
constexpr unsigned kCannotOpenManager = 55306;
constexpr unsigned kCannotCreate = 55307;
constexpr unsigned kCannotOpenService = 55308;
constexpr unsigned kCannotDelete = 55309;
constexpr unsigned kCannotStop = 55310;

constexpr DWORD kServiceStopPending = 3;

}  // namespace

void ServiceInstaller::Message(unsigned id, const wchar_t* fallback) const {
  wchar_t text[1024];
  if (LoadStringW(GetModuleHandleW(nullptr), id, text, 1024) == 0) {
    lstrcpynW(text, fallback, 1024);
  }
  MessageBoxW(nullptr, text, m_name.c_str(), MB_OK);
}

bool ServiceInstaller::IsInstalled() const {
  const SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  if (manager == nullptr) return false;
  const SC_HANDLE service =
      OpenServiceW(manager, m_name.c_str(), SERVICE_QUERY_CONFIG);
  const bool installed = service != nullptr;
  if (service != nullptr) CloseServiceHandle(service);
  CloseServiceHandle(manager);
  return installed;
}

bool ServiceInstaller::Install() const {
  if (IsInstalled()) return true;
  wchar_t path[MAX_PATH + 2];
  const DWORD length = GetModuleFileNameW(nullptr, path + 1, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return false;
  path[0] = L'"';
  path[length + 1] = L'"';
  path[length + 2] = L'\0';
  const SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  if (manager == nullptr) {
    Message(kCannotOpenManager, L"Could not open Service Manager");
    return false;
  }
  // A double-NUL-terminated list of one name.
  static const wchar_t kDependencies[] = L"RPCSS\0";
  const SC_HANDLE service = CreateServiceW(
      manager, m_name.c_str(), m_name.c_str(), SERVICE_ALL_ACCESS,
      SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
      path, nullptr, nullptr, kDependencies, nullptr, nullptr);
  if (service == nullptr) {
    CloseServiceHandle(manager);
    Message(kCannotCreate, L"Could not start service");
    return false;
  }
  CloseServiceHandle(service);
  CloseServiceHandle(manager);
  return true;
}

bool ServiceInstaller::Remove() const {
  if (!IsInstalled()) return true;
  const SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  if (manager == nullptr) {
    Message(kCannotOpenManager, L"Could not open Service Manager");
    return false;
  }
  const SC_HANDLE service =
      OpenServiceW(manager, m_name.c_str(), SERVICE_STOP | DELETE);
  if (service == nullptr) {
    CloseServiceHandle(manager);
    Message(kCannotOpenService, L"Could not open service");
    return false;
  }
  SERVICE_STATUS status = {};
  if (!ControlService(service, SERVICE_CONTROL_STOP, &status)) {
    const DWORD error = GetLastError();
    const bool not_running = error == ERROR_SERVICE_NOT_ACTIVE;
    const bool stopping = error == ERROR_SERVICE_CANNOT_ACCEPT_CTRL &&
                          status.dwCurrentState == kServiceStopPending;
    if (!not_running && !stopping) {
      Message(kCannotStop, L"Could not stop service");
    }
  }
  const bool deleted = DeleteService(service) != 0;
  CloseServiceHandle(service);
  CloseServiceHandle(manager);
  if (!deleted) Message(kCannotDelete, L"Could not delete service");
  return deleted;
}

}  // namespace qoinfo::win
