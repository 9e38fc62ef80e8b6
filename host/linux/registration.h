// The registration switches on Linux, in the steps of server_registration.h
// against the file registry ($XDG_CONFIG_HOME/QoInfoAgent/registry). The
// server files are the D-Bus activation files of both services under
// $XDG_DATA_HOME/dbus-1/services/; the service is a systemd user unit
// ($XDG_CONFIG_HOME/systemd/user/qoinfoagent.service, Type=dbus) that the
// agent's activation file then names. Problems with the unit are told on
// standard error with the texts the Windows server shows in boxes.
#pragma once

#include "host/command_switches.h"
#include "platform/com_base.h"

namespace qoinfo::bus {

HRESULT RunRegistrationSwitch(ServerSwitch which);

// At start: whether LocalService asks for service mode; a failure when the
// server was never registered (or its registry cannot be read). The user's
// registry file is read first; when it holds no registration, the first
// $XDG_CONFIG_DIRS/QoInfoAgent/registry (default /etc/xdg) that holds one:
// where the Debian package puts its registration for every user.
HRESULT ReadRegisteredMode(bool* as_service);

}  // namespace qoinfo::bus
