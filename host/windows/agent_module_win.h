// CQoInfoAgentModule: the host of QoInfoAgent.exe. Built once per process
// before the entry point runs (COM on the main thread, the service name from
// string resource 101), it examines the command line, performs a
// registration switch or serves: as a local server (class objects, the idle
// rule, the message loop, a hidden window for the end of the session) or,
// when the registry holds LocalService, as the Windows service of that name.
// After serving it withdraws the class objects and keeps serving until the
// last object is gone, so that an agent still held by a client ends (and
// saves) on that client's release.
//
// One instance (Instance()). The serving thread owns everything but the lock
// count, which any thread may change, and the service's status and stop
// request: the control handler runs on the main thread and reaches the
// serving thread by posting the quit message, once that thread is known (a
// stop that comes earlier waits for it). Both threads report the status
// under one lock.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "host/idle_rule.h"
#include "com/module_lock.h"
#include "host/windows/agent_class_table_win.h"

namespace qoinfo::win {

class CQoInfoAgentModule final : private ModuleLockListener {
 public:
  // Resource identifier of the service name (a string); the application
  // identity script has the same number as a REGISTRY resource
  // (kAppIdScriptResource).
  static constexpr UINT kServiceNameResource = 101;

  CQoInfoAgentModule();
  ~CQoInfoAgentModule();
  CQoInfoAgentModule(const CQoInfoAgentModule&) = delete;
  CQoInfoAgentModule& operator=(const CQoInfoAgentModule&) = delete;

  static CQoInfoAgentModule* Instance();

  // The entry point: the process exit code.
  int WinMain(int show);

  // One line to the event log (and standard output outside service mode).
  void Log(const std::wstring& text) const;
  const std::wstring& service_name() const { return m_serviceName; }

 private:
  // No switch: local server or service, as LocalService says.
  DWORD Start(int show);
  // Registers the class objects and serves until the quit message.
  HRESULT Run(int show);
  void ServiceMain();
  void ControlHandler(DWORD control);
  void ReportStatus(DWORD state);
  // The service's serving thread is the calling one from now on; a stop
  // asked for before is posted to it now.
  void ServiceThreadStarts();
  // Posts the stop to the service's thread, once, when both are known.
  // m_statusLock held.
  void PostStopLocked();
  // Reports running unless a stop was asked for already: whether it did.
  bool ReportRunning();
  static void WINAPI ServiceMainEntry(DWORD argc, LPWSTR* argv);
  static void WINAPI ControlHandlerEntry(DWORD control);

  // Falls of the lock count to zero (any thread).
  void OnLockCountZero() override;
  // The serving thread's timer: asks the agent whether it is time to save
  // (a removal is saved within seconds, other changes once quiet).
  static void CALLBACK CheckpointTimer(HWND, UINT, UINT_PTR, DWORD);
  static constexpr UINT kCheckpointPollMs = 1000;
  void PostQuit(DWORD thread) const { PostThreadMessageW(thread, WM_QUIT, 0, 0); }

  std::wstring m_serviceName;
  bool m_service = true;
  // Guards the service's status, its thread and its stop request.
  std::mutex m_statusLock;
  SERVICE_STATUS m_status = {};
  SERVICE_STATUS_HANDLE m_statusHandle = nullptr;
  DWORD m_serviceThread = 0;
  bool m_stopRequested = false;
  bool m_stopPosted = false;
  const DWORD m_mainThread;
  std::atomic<DWORD> m_servingThread{0};
  bool m_delayedShutdown = true;
  bool m_comInitialised = false;
  bool m_initialisationFailed = false;
  std::atomic<bool> m_withdrawn{false};
  std::unique_ptr<CIdleRule> m_idle;
  AgentClassTable m_classes;
};

}  // namespace qoinfo::win
