// qoinfoagent: the search agent as the D-Bus service QoInfoAgent.ZuInfoAgent.
// Started by the bus on a client's first call, it serves until the idle
// rule, a stop (SIGTERM, SIGINT) or the loss of the bus ends it; it then
// gives up its name, answers the calls already queued, and releases the
// agent, which saves the index. With LocalService in its
// registry it is a systemd service instead: it tells systemd when it is
// ready and when it stops, logs to the journal, and only a stop ends it.
// With a registration switch (-RegServer, /UnregServer, /Service) it
// registers or unregisters itself instead and ends with the switch's result;
// with --version it prints its version and ends.
// Exit statuses: exit_status.h.
#include <systemd/sd-daemon.h>

#include <cstdio>
#include <cstdlib>
#include <thread>

#include "host/command_switches.h"
#include "host/idle_rule.h"
#include "host/linux/agent_service.h"
#include "host/linux/bus_loop.h"
#include "host/linux/bus_names.h"
#include "host/linux/bus_url_base.h"
#include "host/linux/command_line.h"
#include "host/linux/exit_status.h"
#include "host/linux/registration.h"
#include "host/linux/server_log.h"
#include "host/linux/session_bus.h"
#include "platform/class_objects.h"
#include "platform/hresult_error.h"
#include "platform/utf8.h"
#include "product_version.h"
#include "urlbase/url_base.h"

namespace qoinfo::bus {
namespace {

int Serve(bool as_service) {
  LogToJournal(as_service);
  std::string why;
  std::unique_ptr<sdbus::IConnection> connection = ConnectToSessionBus(&why);
  if (!connection) {
    Log("qoinfoagent: " + why);
    return kExitFailure;
  }
  BusLoop loop(*connection);
  // The agent creates its URL base object by class: it gets a proxy of the
  // history service.
  DWORD history_class = 0;
  {
    platform::ComPtr<IClassFactory> factory(NewBusURLBaseClassObject(*connection));
    if (factory.get() == nullptr ||
        FAILED(CoRegisterClassObject(CLSID_BromURLBase, factory.get(),
                                     CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE,
                                     &history_class))) {
      Log("qoinfoagent: cannot register the history's class object");
      return kExitFailure;
    }
  }
  AgentService service(*connection, loop);
  BusLoop::End end = BusLoop::End::kQuit;
  HRESULT saved = S_FALSE;
  try {
    service.Export();
    connection->requestName(kAgentName);
    const HRESULT started = service.StartAgent(&why);
    if (FAILED(started)) {
      Log("qoinfoagent: " + why + " (" + platform::HResultCodeText(started) +
          "); calls are answered with this error");
    }
    CIdleRule idle(ProcessModuleLock(), [&loop] { loop.Quit(); });
    if (!as_service) {
      idle.Start();
      idle.OnLockCountZero();  // a start without any lock is idle too
    } else {
      sd_notify(0, "READY=1\nSTATUS=Serving");
      Log("Service started");
    }
    end = loop.Run();
    if (as_service) sd_notify(0, "STOPPING=1");
    idle.Stop();
    if (end != BusLoop::End::kBusLost) {
      // Calls that reached this server before it gave up its name are
      // answered before the index is saved.
      const BusLoop::End withdrawn =
          loop.Withdraw(kAgentName, [] { return true; });
      if (withdrawn == BusLoop::End::kBusLost) end = withdrawn;
    }
  } catch (const sdbus::Error& error) {
    Log("qoinfoagent: " + error.getMessage());
    end = BusLoop::End::kBusLost;
  }
  if (end == BusLoop::End::kBusLost) Log("qoinfoagent: the bus went away");
  saved = service.Stop();
  CoRevokeClassObject(history_class);
  if (FAILED(saved)) {
    Log("qoinfoagent: the index could not be saved: " +
        platform::HResultCodeText(saved));
  }
  if (as_service) Log("Service stopped");
  if (end == BusLoop::End::kQuit && !as_service) {
    std::this_thread::sleep_for(CIdleRule::kPause);
  }
  return FAILED(saved) ? kExitFailure : kExitSuccess;
}

}  // namespace
}  // namespace qoinfo::bus

int main(int argc, char** argv) {
  using namespace qoinfo;
  const ServerSwitch found = FindServerSwitch(bus::CommandLineText(argc, argv));
  if (found == ServerSwitch::kVersion) {
    std::printf("%s\n", kVersionText);
    return bus::kExitSuccess;
  }
  if (found != ServerSwitch::kNone) {
    // A failure is logged with its HRESULT by the switch.
    return bus::ExitStatusOf(bus::RunRegistrationSwitch(found));
  }
  bool as_service = false;
  const HRESULT registered = bus::ReadRegisteredMode(&as_service);
  if (FAILED(registered)) {
    // Never registered (or the registry cannot be read, which is logged).
    bus::Log("qoinfoagent: not registered (qoinfoagent -RegServer registers it)");
    return bus::ExitStatusOf(registered);
  }
  if (as_service && std::getenv("INVOCATION_ID") == nullptr) {
    // Registered as a service but not started by systemd: the Windows
    // server's dispatcher refuses such a start too.
    bus::Log("qoinfoagent: registered as a service; systemd starts it "
             "(systemctl --user start qoinfoagent)");
    return bus::kExitNotStartedAsService;
  }
  return bus::Serve(as_service);
}
