#include "host/linux/session_bus.h"

#include <cstdlib>

#include <sdbus-c++/Error.h>

namespace qoinfo::bus {
namespace {

std::string Variable(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

// Whether the session bus address names the system bus's socket.
bool NamesSystemBus(const std::string& address) {
  return address.find("/run/dbus/system_bus_socket") != std::string::npos;
}

}  // namespace

std::unique_ptr<sdbus::IConnection> ConnectToSessionBus(std::string* why) {
  if (Variable("DBUS_STARTER_BUS_TYPE") == "system" ||
      NamesSystemBus(Variable("DBUS_SESSION_BUS_ADDRESS"))) {
    *why = "refusing to serve on the system bus: QoInfoAgent keeps one "
           "user's history and runs on that user's session bus";
    return nullptr;
  }
  try {
    return sdbus::createSessionBusConnection();
  } catch (const sdbus::Error& error) {
    *why = "cannot connect to the session bus: " + error.getMessage();
    return nullptr;
  }
}

}  // namespace qoinfo::bus
