// The exit status of qoinfoagent. A status carries only 8 bits, so an
// HRESULT cannot be passed on as it is (E_FAIL would read as 5, and 1063
// as 39): the server ends with one of this small set, documented in
// docs/server-linux.md, and writes the HRESULT itself to its log.
#pragma once

#include "platform/com_base.h"

namespace qoinfo::bus {

enum ExitStatus : int {
  kExitSuccess = 0,
  // Any failure not named below.
  kExitFailure = 1,
  // The server was never registered, or what is to be unregistered is not
  // there: the registry key was not found (HRESULT 0x80070002).
  kExitNotRegistered = 2,
  // Registered as a service but not started by systemd (where the Windows
  // server's dispatcher answers 1063).
  kExitNotStartedAsService = 3,
};

// The status of a registration switch's or a start's result.
ExitStatus ExitStatusOf(HRESULT hr);

}  // namespace qoinfo::bus
