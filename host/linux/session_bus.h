// Connecting a service or a client to the user's session bus, never to the
// system bus: the services keep one user's history and index, so they
// refuse to start when the bus that activated them is the system bus.
#pragma once

#include <memory>
#include <string>

#include <sdbus-c++/IConnection.h>

namespace qoinfo::bus {

// The session bus, or null with `why` set.
std::unique_ptr<sdbus::IConnection> ConnectToSessionBus(std::string* why);

}  // namespace qoinfo::bus
