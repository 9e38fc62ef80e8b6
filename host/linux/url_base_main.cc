// bromhelper: our history component as the D-Bus service BromHelper.URLBase,
// started by the bus when a client (the agent, qoinfo) first calls it. It
// ends when no sink has been subscribed and no call has come for the idle
// timeout, on SIGTERM or SIGINT, or when the bus goes away. Ending, it
// gives up its name first and then answers the calls already queued.
// With --version it prints its version and ends.
#include <cstdio>
#include <thread>

#include "host/command_switches.h"

#include "host/idle_rule.h"
#include "host/linux/apartment.h"
#include "host/linux/bus_loop.h"
#include "host/linux/bus_names.h"
#include "host/linux/command_line.h"
#include "host/linux/server_log.h"
#include "host/linux/session_bus.h"
#include "host/linux/url_base_service.h"
#include "product_version.h"

int main(int argc, char** argv) {
  using namespace qoinfo;
  using namespace qoinfo::bus;
  if (FindServerSwitch(CommandLineText(argc, argv)) == ServerSwitch::kVersion) {
    std::printf("%s\n", kVersionText);
    return 0;
  }
  std::string why;
  std::unique_ptr<sdbus::IConnection> connection = ConnectToSessionBus(&why);
  if (!connection) {
    Log("bromhelper: " + why);
    return 1;
  }
  BusLoop loop(*connection);
  Apartment apartment;
  URLBaseService service(*connection, loop, apartment);
  std::thread apartment_thread([&] {
    service.OpenHistory();
    apartment.Run();
    service.CloseHistory();
  });
  int status = 0;
  try {
    service.Export();
    connection->requestName(kURLBaseName);
    CIdleRule idle(ProcessModuleLock(), [&loop] { loop.Quit(); });
    idle.Start();
    idle.OnLockCountZero();  // a start without any call is idle too
    BusLoop::End end = loop.Run();
    idle.Stop();
    if (end != BusLoop::End::kBusLost) {
      // Calls that reached this server before it gave up its name are
      // answered, with the history still open.
      end = loop.Withdraw(kURLBaseName, [&service] { return service.Settled(); });
    }
    if (end == BusLoop::End::kBusLost) Log("bromhelper: the bus went away");
  } catch (const sdbus::Error& error) {
    Log("bromhelper: " + error.getMessage());
    status = 1;
  }
  apartment.Quit();
  apartment_thread.join();
  return status;
}
