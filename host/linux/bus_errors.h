// HRESULTs on D-Bus. A failure crosses the bus as an error named
// "<prefix><SYMBOL>" ("QoInfoAgent.Error.E_INVALIDARG"; a code without a
// symbol as "HRESULT_8007000D") whose message starts "HRESULT 0x80070057";
// a client turns it back into the same code from that message. Errors of
// the bus itself become the nearest HRESULT.
#pragma once

#include <string>

#include <sdbus-c++/Error.h>

#include "platform/com_base.h"
#include "platform/hresult_error.h"

namespace qoinfo::bus {

// The error for failure `hr` under `prefix` (kAgentErrorPrefix, ...).
sdbus::Error ErrorFromHResult(const char* prefix, HRESULT hr);

// The HRESULT an error stands for: the code in its message when it names
// one, else the nearest code for errors of the bus (E_ACCESSDENIED for
// AccessDenied, RPC_E_DISCONNECTED when the peer is gone or does not
// answer, E_NOINTERFACE for a method or interface the peer does not
// have), else E_FAIL.
HRESULT HResultFromError(const sdbus::Error& error);

// The bus's own "no such peer / no answer" failure as an HRESULT.
inline constexpr HRESULT kPeerGone = static_cast<HRESULT>(0x80010108u);

// Runs `call`, turning any sdbus::Error it throws into its HRESULT and
// std::bad_alloc into E_OUTOFMEMORY. For proxies' interface methods.
template <typename Call>
HRESULT CallReturningHResult(Call&& call) noexcept {
  try {
    return call();
  } catch (const sdbus::Error& error) {
    return HResultFromError(error);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
}

// Runs the body of a method handler: an sdbus::Error passes, any other
// exception becomes the error of its HRESULT (E_OUTOFMEMORY for
// std::bad_alloc). No C++ exception other than sdbus::Error may leave a
// handler: sd-bus, a C library, is between it and the loop.
template <typename Body>
auto Guarded(const char* prefix, Body&& body) -> decltype(body()) {
  try {
    return body();
  } catch (const sdbus::Error&) {
    throw;
  } catch (...) {
    throw ErrorFromHResult(prefix, platform::HResultFromCurrentException());
  }
}

}  // namespace qoinfo::bus
