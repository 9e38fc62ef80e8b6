#include "host/windows/agent_module_win.h"

#include <string_view>

#include "agent/zu_info_agent.h"
#include "host/command_switches.h"
#include "com/interfaces.h"
#include "host/windows/agent_registration_win.h"
#include "host/windows/end_session_window_win.h"
#include "host/windows/event_log_win.h"
#include "host/windows/last_object_wait_win.h"
#include "host/windows/message_loop_win.h"
#include "host/windows/version_output_win.h"
#include "platform/alert.h"
#include "platform/hresult_error.h"

namespace qoinfo::win {
namespace {

CQoInfoAgentModule* g_module = nullptr;

constexpr wchar_t kAppIdKey[] = L"{12F97166-B0F9-4C8D-ADB1-7142444751C8}";

// COM on the calling thread as a single-threaded apartment. A thread that a
// managed runtime already prepared otherwise is used as it is.
HRESULT InitialiseApartment(bool* initialised) {
  *initialised = false;
  const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  if (SUCCEEDED(hr)) {
    *initialised = true;
    return hr;
  }
  if (hr == RPC_E_CHANGED_MODE && GetModuleHandleW(L"Mscoree.dll") != nullptr) {
    return S_OK;
  }
  return hr;
}

// Whether HKCR\AppID\{AppID} holds LocalService as a terminated string of
// at most 259 characters. A failure to open either key is returned.
LONG ReadLocalService(bool* present) {
  *present = false;
  HKEY app_ids = nullptr;
  LONG error = RegOpenKeyExW(HKEY_CLASSES_ROOT, L"AppID", 0, KEY_READ, &app_ids);
  if (error != ERROR_SUCCESS) return error;
  HKEY app_id = nullptr;
  error = RegOpenKeyExW(app_ids, kAppIdKey, 0, KEY_READ, &app_id);
  if (error == ERROR_SUCCESS) {
    wchar_t value[260];
    DWORD type = 0;
    DWORD size = sizeof(value);
    const LONG read = RegQueryValueExW(app_id, L"LocalService", nullptr, &type,
                                       reinterpret_cast<BYTE*>(value), &size);
    const DWORD characters = size / sizeof(wchar_t);
    *present = read == ERROR_SUCCESS &&
               (type == REG_SZ || type == REG_EXPAND_SZ) && characters > 0 &&
               value[characters - 1] == L'\0';
    RegCloseKey(app_id);
  }
  RegCloseKey(app_ids);
  return error;
}

}  // namespace

CQoInfoAgentModule::CQoInfoAgentModule() : m_mainThread(GetCurrentThreadId()) {
  g_module = this;
  if (FAILED(InitialiseApartment(&m_comInitialised))) {
    m_initialisationFailed = true;
    return;
  }
  wchar_t name[256] = {};
  LoadStringW(GetModuleHandleW(nullptr), kServiceNameResource, name, 256);
  m_serviceName = name;
  m_status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  m_status.dwCurrentState = SERVICE_STOPPED;
  m_status.dwControlsAccepted = SERVICE_ACCEPT_STOP;
}

CQoInfoAgentModule::~CQoInfoAgentModule() {
  m_classes.Withdraw();
  if (m_comInitialised) CoUninitialize();
  g_module = nullptr;
}

CQoInfoAgentModule* CQoInfoAgentModule::Instance() { return g_module; }

int CQoInfoAgentModule::WinMain(int show) {
  if (m_initialisationFailed) return -1;
  const wchar_t* line = GetCommandLineW();
  const std::u16string_view text(reinterpret_cast<const char16_t*>(line),
                                 wcslen(line));
  const ServerSwitch found = FindServerSwitch(text);
  if (found == ServerSwitch::kVersion) return PrintVersion();
  if (found != ServerSwitch::kNone) {
    return static_cast<int>(RunAgentSwitch(found, m_serviceName));
  }
  return static_cast<int>(Start(show));
}

void CQoInfoAgentModule::Log(const std::wstring& text) const {
  LogServerEvent(m_serviceName, text, !m_service);
}

DWORD CQoInfoAgentModule::Start(int show) {
  const LONG error = ReadLocalService(&m_service);
  if (error != ERROR_SUCCESS) {
    m_status.dwWin32ExitCode = static_cast<DWORD>(error);
    return m_status.dwWin32ExitCode;
  }
  if (m_service) {
    // No one is at the desktop of a service: alerts go to the log.
    platform::SetAlertStyle(platform::AlertStyle::kConsoleAndLog);
    SERVICE_TABLE_ENTRYW table[] = {
        {m_serviceName.data(), &CQoInfoAgentModule::ServiceMainEntry},
        {nullptr, nullptr}};
    const DWORD error =
        StartServiceCtrlDispatcherW(table) ? NO_ERROR : GetLastError();
    std::lock_guard<std::mutex> lock(m_statusLock);
    if (error != NO_ERROR) m_status.dwWin32ExitCode = error;
    return m_status.dwWin32ExitCode;
  }
  m_status.dwWin32ExitCode = static_cast<DWORD>(Run(show));
  return m_status.dwWin32ExitCode;
}

HRESULT CQoInfoAgentModule::Run(int /*show*/) {
  if (m_service) ServiceThreadStarts();
  m_servingThread = GetCurrentThreadId();
  HRESULT hr = m_classes.Register();
  if (hr == S_OK && m_delayedShutdown) {
    m_idle = std::make_unique<CIdleRule>(
        ProcessModuleLock(), [this] { PostQuit(m_mainThread); });
    m_idle->Start();
  }
  if (hr != S_OK) m_delayedShutdown = false;
  if (FAILED(hr)) return hr;
  ProcessModuleLock().SetListener(this);
  const UINT_PTR checkpoints =
      SetTimer(nullptr, 0, kCheckpointPollMs, &CheckpointTimer);
  if (hr == S_OK) {
    if (m_service) {
      // A stop that came during the start ends the loop at once (its quit
      // message waits in the queue); the service never reports running.
      if (ReportRunning()) Log(L"Service started");
      RunMessageLoop();
    } else {
      // At the end of the session the agent must end (and save) before the
      // process is ended: inside the window's handler.
      EndSessionWindow window([this] {
        m_withdrawn = true;
        m_classes.EndAgentNow();  // a failed save is logged by the agent
      });
      if (m_idle) m_idle->OnLockCountZero();  // a start with no lock is idle
      RunMessageLoop();
    }
  }
  if (checkpoints != 0) KillTimer(nullptr, checkpoints);
  if (m_idle) m_idle->Stop();
  m_withdrawn = true;
  {
    LastObjectWait wait;
    hr = m_classes.Withdraw();
    wait.Serve();
  }
  m_idle.reset();
  const HRESULT saved = LastShutdownSaveResult();
  if (FAILED(saved)) {
    const std::string code = platform::HResultCodeText(saved);
    Log(L"The index could not be saved: " +
        std::wstring(code.begin(), code.end()));
    if (SUCCEEDED(hr)) hr = saved;
  }
  if (m_delayedShutdown) Sleep(static_cast<DWORD>(CIdleRule::kPause.count()));
  return hr;
}

void CQoInfoAgentModule::OnLockCountZero() {
  if (m_withdrawn) {
    PostQuit(m_servingThread);
  } else if (m_service) {
    // A service ends only when it is stopped.
  } else if (m_delayedShutdown && m_idle) {
    m_idle->OnLockCountZero();
  } else {
    PostQuit(m_mainThread);
  }
}

void CALLBACK CQoInfoAgentModule::CheckpointTimer(HWND, UINT, UINT_PTR,
                                                  DWORD) {
  if (g_module != nullptr) g_module->m_classes.CheckpointIfIdle();
}

void WINAPI CQoInfoAgentModule::ServiceMainEntry(DWORD, LPWSTR*) {
  g_module->ServiceMain();
}

void WINAPI CQoInfoAgentModule::ControlHandlerEntry(DWORD control) {
  g_module->ControlHandler(control);
}

void CQoInfoAgentModule::ServiceMain() {
  {
    // The control handler may run as soon as it is registered.
    std::lock_guard<std::mutex> lock(m_statusLock);
    m_status.dwCurrentState = SERVICE_START_PENDING;
    m_statusHandle = RegisterServiceCtrlHandlerW(m_serviceName.c_str(),
                                                 &ControlHandlerEntry);
  }
  if (m_statusHandle == nullptr) {
    Log(L"Handler not installed");
    return;
  }
  ReportStatus(SERVICE_START_PENDING);
  {
    std::lock_guard<std::mutex> lock(m_statusLock);
    m_status.dwWin32ExitCode = NO_ERROR;
    m_status.dwCheckPoint = 0;
    m_status.dwWaitHint = 0;
  }
  bool initialised = false;
  const HRESULT com = InitialiseApartment(&initialised);
  if (FAILED(com)) {
    // Left in start pending the service could be neither used nor stopped.
    {
      std::lock_guard<std::mutex> lock(m_statusLock);
      m_status.dwWin32ExitCode = ERROR_SERVICE_SPECIFIC_ERROR;
      m_status.dwServiceSpecificExitCode = static_cast<DWORD>(com);
    }
    ReportStatus(SERVICE_STOPPED);
    Log(L"Service stopped");
    return;
  }
  m_delayedShutdown = false;
  const DWORD result = static_cast<DWORD>(Run(SW_HIDE));
  {
    std::lock_guard<std::mutex> lock(m_statusLock);
    m_status.dwWin32ExitCode = result;
  }
  if (m_service && initialised) CoUninitialize();
  ReportStatus(SERVICE_STOPPED);
  Log(L"Service stopped");
}

void CQoInfoAgentModule::ServiceThreadStarts() {
  std::lock_guard<std::mutex> lock(m_statusLock);
  m_serviceThread = GetCurrentThreadId();
  PostStopLocked();
}

void CQoInfoAgentModule::PostStopLocked() {
  // A second quit message would end the serving that follows the
  // withdrawal before the last client let go.
  if (!m_stopRequested || m_stopPosted || m_serviceThread == 0) return;
  PostQuit(m_serviceThread);
  m_stopPosted = true;
}

bool CQoInfoAgentModule::ReportRunning() {
  std::lock_guard<std::mutex> lock(m_statusLock);
  if (m_stopRequested) return false;
  m_status.dwCurrentState = SERVICE_RUNNING;
  SetServiceStatus(m_statusHandle, &m_status);
  return true;
}

void CQoInfoAgentModule::ControlHandler(DWORD control) {
  switch (control) {
    case SERVICE_CONTROL_STOP: {
      std::lock_guard<std::mutex> lock(m_statusLock);
      m_stopRequested = true;
      m_status.dwCurrentState = SERVICE_STOP_PENDING;
      SetServiceStatus(m_statusHandle, &m_status);
      PostStopLocked();
      break;
    }
    case SERVICE_CONTROL_PAUSE:
    case SERVICE_CONTROL_CONTINUE:
    case SERVICE_CONTROL_INTERROGATE:
    case SERVICE_CONTROL_SHUTDOWN:
      break;
    default:
      Log(L"Bad service request");
  }
}

void CQoInfoAgentModule::ReportStatus(DWORD state) {
  std::lock_guard<std::mutex> lock(m_statusLock);
  m_status.dwCurrentState = state;
  SetServiceStatus(m_statusHandle, &m_status);
}

}  // namespace qoinfo::win
