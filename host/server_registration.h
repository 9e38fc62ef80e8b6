// The registration switches, in the order both servers run them. RegServer:
// remove the service, register the application identity, delete
// LocalService, register the classes and the platform's own entries.
// Service: the same, but LocalService is written and the service installed
// before the classes. UnregServer: unregister the classes and the
// platform's entries, remove the service, delete LocalService, unregister
// the application identity. Each stops at its first failing step, whose
// HRESULT is the result; a service that cannot be removed or installed
// gives E_FAIL. What the platform does beside the registry comes through
// RegistrationPlatform. Single-threaded.
#pragma once

#include <string>

#include "host/command_switches.h"
#include "host/registry.h"

namespace qoinfo {

class RegistrationPlatform {
 public:
  virtual ~RegistrationPlatform() = default;
  // The full path of the server's executable.
  virtual HRESULT ModulePath(std::u16string* path) = 0;
  // False when the step failed; the platform has told the user why.
  virtual bool RemoveService() = 0;
  virtual bool InstallService() = 0;
  // What makes the classes reachable beside the registry: the type
  // library on Windows, the D-Bus activation files on Linux.
  virtual HRESULT RegisterServerFiles() = 0;
  virtual HRESULT UnregisterServerFiles() = 0;
  // The application identity script: by default the text compiled in
  // (kAppIdScript); the Windows server reads it from its own resource.
  virtual HRESULT AppIdScript(std::u16string* script);
};

// Runs `which` (not kNone) against `registry`.
HRESULT RunServerSwitch(ServerSwitch which, Registry& registry,
                        RegistrationPlatform& platform);

// At start without a switch: whether the registry asks for service mode (a
// LocalService string of at most 259 characters). The lookup error when the
// AppID key is absent: the server was never registered.
HRESULT ReadServiceMode(Registry& registry, bool* as_service);

}  // namespace qoinfo
