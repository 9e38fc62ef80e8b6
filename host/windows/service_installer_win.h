// Installing and removing the Windows service through the service control
// manager: own process, started on demand, normal error control, the quoted
// path of this executable, depending on "RPCSS", the local system account.
// Problems are shown in a message box captioned with the service name
// ("Could not open Service Manager", "Could not start service", ...); each
// operation answers only whether it succeeded. Main thread only.
#pragma once

#include <string>

namespace qoinfo::win {

class ServiceInstaller {
 public:
  explicit ServiceInstaller(std::wstring service_name)
      : m_name(std::move(service_name)) {}

  // Both the manager and the service open for querying its configuration.
  bool IsInstalled() const;
  // Creates the service unless it is installed; it is not started.
  bool Install() const;
  // Stops (without waiting) and deletes the service when it is installed.
  bool Remove() const;

 private:
  // The text of string resource `id` when this executable holds one, else
  // `fallback`, in a box with the service name as caption.
  void Message(unsigned id, const wchar_t* fallback) const;

  const std::wstring m_name;
};

}  // namespace qoinfo::win
