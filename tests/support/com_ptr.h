// Tests use the code base's owning interface pointer.
#pragma once

#include "platform/com_ptr.h"

namespace qoinfo::testing {

using platform::ComPtr;

}  // namespace qoinfo::testing
