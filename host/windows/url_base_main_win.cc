// BromHelper.exe: our history component served out of process, so that
// every client on the machine (the agent's server, qoinfo) shares one
// history and its events: a visit removed by anyone reaches the agent. One
// shared object (CSharedHistory), the idle rule of the agent's server and
// its end (serving, after the withdrawal, until no object is left), and
// /RegServer and /UnregServer for its own registration.
#include <windows.h>

#include <string_view>

#include "host/command_switches.h"
#include "host/class_factory.h"
#include "host/idle_rule.h"
#include "host/shared_history.h"
#include "host/windows/event_log_win.h"
#include "host/windows/history_registration_win.h"
#include "host/windows/last_object_wait_win.h"
#include "host/windows/message_loop_win.h"
#include "host/windows/version_output_win.h"
#include "platform/alert.h"
#include "platform/hresult_error.h"

namespace qoinfo::win {
namespace {

constexpr wchar_t kLogSource[] = L"BromHelper";

int Serve() {
  // No one answers a box of a server started by COM.
  platform::SetAlertStyle(platform::AlertStyle::kConsoleAndLog);
  CSharedHistory* history = nullptr;
  HRESULT hr = CSharedHistory::Open(&history);
  if (FAILED(hr)) {
    const std::string code = platform::HResultCodeText(hr);
    LogServerEvent(kLogSource,
                   L"The history cannot be opened: " +
                       std::wstring(code.begin(), code.end()),
                   true);
    return static_cast<int>(hr);
  }
  platform::ComPtr<CClassFactory> factory(
      CClassFactory::ForExistingObject(static_cast<IBromURLBase*>(history)));
  history->Release();  // the class object holds the only own reference
  if (factory.get() == nullptr) return static_cast<int>(E_OUTOFMEMORY);
  DWORD cookie = 0;
  hr = CoRegisterClassObject(CLSID_BromURLBase,
                             static_cast<IClassFactory*>(factory.get()),
                             CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &cookie);
  if (FAILED(hr)) return static_cast<int>(hr);
  const DWORD main_thread = GetCurrentThreadId();
  CIdleRule idle(ProcessModuleLock(), [main_thread] {
    PostThreadMessageW(main_thread, WM_QUIT, 0, 0);
  });
  idle.Start();
  idle.OnLockCountZero();  // a start with no lock is idle too
  RunMessageLoop();
  idle.Stop();
  {
    // A client that took the history after the idle rule decided to end
    // holds it still: it is served until it lets go.
    LastObjectWait wait;
    hr = CoRevokeClassObject(cookie);
    wait.Serve();
  }
  factory.Reset();
  Sleep(static_cast<DWORD>(CIdleRule::kPause.count()));
  return static_cast<int>(hr);
}

}  // namespace
}  // namespace qoinfo::win

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  using namespace qoinfo;
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return -1;
  const wchar_t* line = GetCommandLineW();
  int status = 0;
  switch (FindServerSwitch(std::u16string_view(
      reinterpret_cast<const char16_t*>(line), wcslen(line)))) {
    case ServerSwitch::kRegServer:
      status = static_cast<int>(win::RegisterHistoryServer());
      break;
    case ServerSwitch::kUnregServer:
      status = static_cast<int>(win::UnregisterHistoryServer());
      break;
    case ServerSwitch::kVersion:
      status = win::PrintVersion();
      break;
    default:  // a history server is never a service
      status = win::Serve();
  }
  CoUninitialize();
  return status;
}
