// Symbolic names of the HRESULTs this system's interfaces return, for
// messages and for error names on a transport ("E_INVALIDARG",
// "URLBASE_E_NOVISIT"). OS-free; used by both servers and their clients.
#pragma once

#include <string>

#include "platform/com_base.h"

namespace qoinfo {

// The symbol of `hr`, or an empty string for a code without one.
std::string HResultSymbol(HRESULT hr);

// The code named `symbol`; false when the symbol is unknown.
bool HResultFromSymbol(const std::string& symbol, HRESULT* hr);

}  // namespace qoinfo
