// Exit statuses and HRESULT messages shared by the qoinfo commands.
#pragma once

#include <string>

#include "platform/com_base.h"
#include "product_version.h"

namespace qoinfo::tools {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;  // the operation failed
inline constexpr int kExitUsage = 2;    // bad arguments or input
// Done, but the index had to be recovered from damage and lost data on the
// way (the messages say what, and where the damaged copy lies).
inline constexpr int kExitRecovered = 3;

// The version the tools print for --version.
using qoinfo::kVersionText;

// "E_OUTOFMEMORY (HRESULT 0x8007000E)" and the like.
std::string DescribeHResult(HRESULT hr);
// "E_OUTOFMEMORY", "URLBASE_E_NOVISIT", ...; the hex code when unnamed.
std::string HResultSymbol(HRESULT hr);

}  // namespace qoinfo::tools
