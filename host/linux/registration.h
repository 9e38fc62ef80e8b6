// The registration switches on Linux. RegServer writes the D-Bus activation
// files of both services under $XDG_DATA_HOME/dbus-1/services/ and the
// registry entries of the registration scripts into the file-backed
// registry ($XDG_CONFIG_HOME/QoInfoAgent/registry); Service does the same,
// sets LocalService and installs a systemd user unit that the agent's
// activation file points at; UnregServer removes all of it. Each switch
// runs its steps in the order of the Windows server and stops at the first
// failure, whose HRESULT is the result.
#pragma once

#include "host/command_switches.h"
#include "platform/com_base.h"

namespace qoinfo::bus {

HRESULT RunRegistrationSwitch(ServerSwitch which);

// Whether the registry holds LocalService: the server then runs as a
// systemd service.
bool IsRegisteredAsService();

}  // namespace qoinfo::bus
