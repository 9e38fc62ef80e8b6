// Windows: the system's connection-point declarations (ocidl.h) and their
// CONNECT_E_ codes (olectl.h).
#pragma once

#include <olectl.h>

#include "platform/windows/com_base_win.h"
