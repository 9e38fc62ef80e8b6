// An error that carries an HRESULT through C++ code up to the interface
// method that turns it back into a return value. Allocation failures inside
// the core are raised either as std::bad_alloc or as HResultError with
// E_OUTOFMEMORY; boundaries map both to E_OUTOFMEMORY.
#pragma once

#include <cstdint>
#include <cstdio>
#include <exception>
#include <new>
#include <string>

#include "platform/com_base.h"

namespace platform {

class HResultError : public std::exception {
 public:
  explicit HResultError(HRESULT hr) : hr_(hr) {}
  HRESULT hr() const { return hr_; }
  const char* what() const noexcept override { return "HRESULT failure"; }

 private:
  HRESULT hr_;
};

// "HRESULT 0x8007000E": how messages name a code.
inline std::string HResultCodeText(HRESULT hr) {
  char text[24];
  std::snprintf(text, sizeof text, "HRESULT 0x%08X",
                static_cast<unsigned>(static_cast<std::uint32_t>(hr)));
  return text;
}

// The HRESULT for the exception currently being handled. Call only inside a
// catch block.
inline HRESULT HResultFromCurrentException() noexcept {
  try {
    throw;
  } catch (const HResultError& e) {
    return e.hr();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
}

}  // namespace platform
