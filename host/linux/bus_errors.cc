#include "host/linux/bus_errors.h"

#include <cstdio>
#include <cstdlib>

#include "host/hresult_names.h"
#include "host/linux/bus_names.h"
#include "platform/hresult_error.h"

namespace qoinfo::bus {

sdbus::Error ErrorFromHResult(const char* prefix, HRESULT hr) {
  std::string symbol = HResultSymbol(hr);
  if (symbol.empty()) {
    char text[20];
    std::snprintf(text, sizeof text, "HRESULT_%08X",
                  static_cast<unsigned>(static_cast<std::uint32_t>(hr)));
    symbol = text;
  }
  return sdbus::Error(prefix + symbol, platform::HResultCodeText(hr));
}

HRESULT HResultFromError(const sdbus::Error& error) {
  const std::string& message = error.getMessage();
  static const std::string kCode = "HRESULT 0x";
  if (message.compare(0, kCode.size(), kCode) == 0 &&
      message.size() >= kCode.size() + 8) {
    char* end = nullptr;
    const std::string digits = message.substr(kCode.size(), 8);
    const unsigned long value = std::strtoul(digits.c_str(), &end, 16);
    if (end == digits.c_str() + 8) {
      return static_cast<HRESULT>(static_cast<std::uint32_t>(value));
    }
  }
  const std::string& name = error.getName();
  if (name == kAccessDeniedError) return E_ACCESSDENIED;
  if (name == "org.freedesktop.DBus.Error.NoMemory") return E_OUTOFMEMORY;
  if (name == "org.freedesktop.DBus.Error.InvalidArgs") return E_INVALIDARG;
  // A server of an earlier version, without our newer interfaces.
  if (name == "org.freedesktop.DBus.Error.UnknownMethod" ||
      name == "org.freedesktop.DBus.Error.UnknownInterface") {
    return E_NOINTERFACE;
  }
  if (name == "org.freedesktop.DBus.Error.ServiceUnknown" ||
      name == "org.freedesktop.DBus.Error.NameHasNoOwner" ||
      name == "org.freedesktop.DBus.Error.NoReply" ||
      name == "org.freedesktop.DBus.Error.Disconnected" ||
      name == "org.freedesktop.DBus.Error.UnknownObject" ||
      name == "org.freedesktop.DBus.Error.Spawn.ChildExited" ||
      name == "org.freedesktop.DBus.Error.TimedOut") {
    return kPeerGone;
  }
  return E_FAIL;
}

}  // namespace qoinfo::bus
