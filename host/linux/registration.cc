#include "host/linux/registration.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "host/linux/bus_names.h"
#include "host/linux/server_log.h"

namespace qoinfo::bus {
namespace {

namespace fs = std::filesystem;

HRESULT FromErrno(int error) {
  return static_cast<HRESULT>(0x80070000u | (static_cast<unsigned>(error) & 0xFFFFu));
}

// $XDG_DATA_HOME/dbus-1/services, else ~/.local/share/dbus-1/services.
bool ServicesFolder(fs::path* folder) {
  const char* data = std::getenv("XDG_DATA_HOME");
  const char* home = std::getenv("HOME");
  if (data != nullptr && *data != '\0') {
    *folder = fs::path(data) / "dbus-1" / "services";
  } else if (home != nullptr && *home != '\0') {
    *folder = fs::path(home) / ".local" / "share" / "dbus-1" / "services";
  } else {
    return false;
  }
  return true;
}

// Writes `text` to `file` through a temporary file and a rename, so that a
// reader sees the old or the new file, never a part.
HRESULT WriteAtomically(const fs::path& file, const std::string& text) {
  const fs::path temporary = file.string() + ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out.flush()) return FromErrno(EIO);
  }
  std::error_code error;
  fs::rename(temporary, file, error);
  return error ? FromErrno(error.value()) : S_OK;
}

// The activation file of `name`, which runs `program`.
std::string ActivationFile(const char* name, const fs::path& program) {
  return std::string("[D-BUS Service]\nName=") + name +
         "\nExec=" + program.string() + "\n";
}

HRESULT Register(const fs::path& folder) {
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self/exe", error);
  if (error) return FromErrno(error.value());
  fs::create_directories(folder, error);
  if (error) return FromErrno(error.value());
  HRESULT hr = WriteAtomically(folder / (std::string(kAgentName) + ".service"),
                               ActivationFile(kAgentName, self));
  if (SUCCEEDED(hr)) {
    hr = WriteAtomically(
        folder / (std::string(kURLBaseName) + ".service"),
        ActivationFile(kURLBaseName, self.parent_path() / "bromhelper"));
  }
  return hr;
}

HRESULT Unregister(const fs::path& folder) {
  for (const char* name : {kAgentName, kURLBaseName}) {
    std::error_code error;
    fs::remove(folder / (std::string(name) + ".service"), error);
    if (error) return FromErrno(error.value());
  }
  return S_OK;
}

}  // namespace

HRESULT RunRegistrationSwitch(ServerSwitch which) {
  fs::path folder;
  if (!ServicesFolder(&folder)) {
    Log("qoinfoagent: neither XDG_DATA_HOME nor HOME names a folder");
    return E_FAIL;
  }
  switch (which) {
    case ServerSwitch::kRegServer:
      return Register(folder);
    case ServerSwitch::kUnregServer:
      return Unregister(folder);
    case ServerSwitch::kService:
      Log("qoinfoagent: /Service (a systemd user unit) is not available yet");
      return E_NOTIMPL;
    case ServerSwitch::kNone:
      break;
  }
  return S_OK;
}

bool IsRegisteredAsService() { return false; }

}  // namespace qoinfo::bus
