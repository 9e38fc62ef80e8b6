#include "host/linux/registration.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "host/atomic_file.h"
#include "host/file_registry.h"
#include "host/linux/bus_names.h"
#include "host/linux/server_log.h"
#include "host/registration_scripts.h"
#include "host/server_registration.h"
#include "platform/file_system.h"
#include "platform/hresult_error.h"
#include "platform/posix/errno_hresult.h"
#include "platform/utf8.h"

namespace qoinfo::bus {
namespace {

namespace fs = std::filesystem;

constexpr char kUnitName[] = "qoinfoagent.service";

// $<variable> when it is an absolute path, else ~/<fallback>; empty when
// neither can be known.
fs::path UserFolder(const char* variable, const char* fallback) {
  const char* value = std::getenv(variable);
  if (value != nullptr && value[0] == '/') return value;
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') return fs::path(home) / fallback;
  return {};
}

fs::path ConfigHome() { return UserFolder("XDG_CONFIG_HOME", ".config"); }
fs::path DataHome() { return UserFolder("XDG_DATA_HOME", ".local/share"); }

std::u16string Wide(const fs::path& path) {
  std::u16string wide;
  std::size_t error_offset = 0;
  platform::Utf8ToUtf16(path.string(), &wide, &error_offset);
  return wide;
}

fs::path RegistryFile() {
  const fs::path config = ConfigHome();
  return config.empty() ? config : config / "QoInfoAgent" / "registry";
}

fs::path UnitFile() {
  const fs::path config = ConfigHome();
  return config.empty() ? config : config / "systemd" / "user" / kUnitName;
}

// A text as one word of a unit's command line.
std::string QuotedForUnit(const std::string& text) {
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') quoted += '\\';
    if (c == '%' || c == '$') quoted += c;
    quoted += c;
  }
  return quoted + '"';
}

std::string UnitText(const fs::path& program) {
  return std::string(
             "[Unit]\n"
             "Description=QoInfoAgent, full-text search over the web history\n"
             "\n"
             "[Service]\n"
             "Type=dbus\n"
             "BusName=") +
         kAgentName +
         "\n"
         "NotifyAccess=main\n"
         "ExecStart=" +
         QuotedForUnit(program.string()) + "\n";
}

std::string ActivationText(const char* name, const fs::path& program,
                           bool with_unit) {
  std::string text = std::string("[D-BUS Service]\nName=") + name +
                     "\nExec=" + program.string() + "\n";
  if (with_unit) text += std::string("SystemdService=") + kUnitName + "\n";
  return text;
}

// The user's systemd answers when its private socket exists.
bool UserSystemdReachable() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  std::error_code error;
  return runtime != nullptr && runtime[0] == '/' &&
         fs::exists(fs::path(runtime) / "systemd" / "private", error);
}

// Runs `systemctl --user <verb> [unit]`; true when it succeeded.
bool Systemctl(const char* verb, const char* unit) {
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child < 0) return false;
  if (child == 0) {
    execlp("systemctl", "systemctl", "--user", "--quiet", verb, unit,
           static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return false;
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void Tell(const char* text) {
  std::fprintf(stderr, "%s: %s\n", platform::Utf16ToUtf8(kServiceName).c_str(),
               text);
}

class LinuxRegistration : public RegistrationPlatform {
 public:
  HRESULT ModulePath(std::u16string* path) override {
    std::error_code error;
    self_ = fs::read_symlink("/proc/self/exe", error);
    if (error) return platform::HResultFromErrno(error.value());
    *path = Wide(self_);
    return S_OK;
  }

  bool RemoveService() override {
    const fs::path unit = UnitFile();
    std::error_code error;
    if (unit.empty() || !fs::exists(unit, error)) return true;
    const bool systemd = UserSystemdReachable();
    if (systemd && !Systemctl("stop", kUnitName)) Tell("Could not stop service");
    if (FAILED(platform::RemoveFileDurably(Wide(unit)))) {
      Tell("Could not delete service");
      return false;
    }
    if (systemd) Systemctl("daemon-reload", nullptr);
    return true;
  }

  bool InstallService() override {
    const fs::path unit = UnitFile();
    std::error_code error;
    if (!unit.empty() && fs::exists(unit, error)) return true;
    if (self_.empty()) return false;
    if (unit.empty()) {
      Tell("Could not open Service Manager");
      return false;
    }
    if (FAILED(WriteFileAtomically(Wide(unit), UnitText(self_)))) {
      Tell("Could not start service");
      return false;
    }
    if (UserSystemdReachable()) Systemctl("daemon-reload", nullptr);
    return true;
  }

  HRESULT RegisterServerFiles() override {
    const fs::path folder = ServicesFolder();
    if (folder.empty()) return E_FAIL;
    std::error_code error;
    const bool with_unit = fs::exists(UnitFile(), error);
    HRESULT hr = WriteFileAtomically(
        Wide(folder / (std::string(kAgentName) + ".service")),
        ActivationText(kAgentName, self_, with_unit));
    if (FAILED(hr)) return hr;
    return WriteFileAtomically(
        Wide(folder / (std::string(kURLBaseName) + ".service")),
        ActivationText(kURLBaseName, self_.parent_path() / "bromhelper", false));
  }

  HRESULT UnregisterServerFiles() override {
    const fs::path folder = ServicesFolder();
    if (folder.empty()) return E_FAIL;
    for (const char* name : {kAgentName, kURLBaseName}) {
      const HRESULT hr = platform::RemoveFileDurably(
          Wide(folder / (std::string(name) + ".service")));
      if (FAILED(hr)) return hr;
    }
    return S_OK;
  }

 private:
  static fs::path ServicesFolder() {
    const fs::path data = DataHome();
    return data.empty() ? data : data / "dbus-1" / "services";
  }

  fs::path self_;
};

// The file registry, loaded; null (and the reason logged) when unreadable.
HRESULT LoadRegistry(FileRegistry* registry) {
  std::string why;
  const HRESULT hr = registry->Load(&why);
  if (FAILED(hr)) {
    Log("qoinfoagent: cannot read " + platform::Utf16ToUtf8(registry->path()) +
        ": " + (why.empty() ? platform::HResultCodeText(hr) : why));
  }
  return hr;
}

// The registration in the registry file `file`: kRegistryNotFound when the
// file is missing or holds no application identity.
HRESULT ReadModeFrom(const fs::path& file, bool* as_service) {
  std::error_code error;
  if (!fs::exists(file, error)) return kRegistryNotFound;
  FileRegistry registry(Wide(file));
  const HRESULT hr = LoadRegistry(&registry);
  return FAILED(hr) ? hr : ReadServiceMode(registry, as_service);
}

// $XDG_CONFIG_DIRS's absolute folders, in order; /etc/xdg when it names
// none.
std::vector<fs::path> SystemConfigFolders() {
  std::vector<fs::path> folders;
  const char* value = std::getenv("XDG_CONFIG_DIRS");
  std::string_view list = value != nullptr ? value : "";
  while (!list.empty()) {
    const std::size_t colon = list.find(':');
    const std::string_view folder = list.substr(0, colon);
    if (!folder.empty() && folder[0] == '/') folders.emplace_back(folder);
    list = colon == std::string_view::npos ? "" : list.substr(colon + 1);
  }
  if (folders.empty()) folders.emplace_back("/etc/xdg");
  return folders;
}

}  // namespace

HRESULT RunRegistrationSwitch(ServerSwitch which) {
  const fs::path file = RegistryFile();
  if (file.empty()) {
    Log("qoinfoagent: neither XDG_CONFIG_HOME nor HOME names a folder");
    return E_FAIL;
  }
  FileRegistry registry(Wide(file));
  HRESULT hr = LoadRegistry(&registry);
  if (FAILED(hr)) return hr;
  LinuxRegistration platform;
  hr = RunServerSwitch(which, registry, platform);
  // What the steps before a failure wrote stays, as on Windows.
  const HRESULT saved = registry.Save();
  if (SUCCEEDED(hr)) hr = saved;
  if (FAILED(hr)) {
    Log("qoinfoagent: registration failed: " + platform::HResultCodeText(hr));
  }
  return hr;
}

HRESULT ReadRegisteredMode(bool* as_service) {
  *as_service = false;
  HRESULT hr = kRegistryNotFound;
  const fs::path file = RegistryFile();
  if (!file.empty()) hr = ReadModeFrom(file, as_service);
  if (hr != kRegistryNotFound) return hr;
  // Not registered by this user: an installed package's registration, in
  // the system's configuration folders, counts for every user.
  for (const fs::path& folder : SystemConfigFolders()) {
    hr = ReadModeFrom(folder / "QoInfoAgent" / "registry", as_service);
    if (hr != kRegistryNotFound) return hr;
  }
  return kRegistryNotFound;
}

}  // namespace qoinfo::bus
