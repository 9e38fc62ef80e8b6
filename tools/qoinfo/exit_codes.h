// Exit statuses and HRESULT messages shared by the qoinfo commands.
#pragma once

#include <string>

#include "platform/com_base.h"

namespace qoinfo::tools {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;  // the operation failed
inline constexpr int kExitUsage = 2;    // bad arguments or input

// "E_OUTOFMEMORY (HRESULT 0x8007000E)" and the like.
std::string DescribeHResult(HRESULT hr);

}  // namespace qoinfo::tools
