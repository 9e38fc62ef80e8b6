// The COM base vocabulary the whole code base speaks: HRESULT and its codes,
// OLECHAR and BSTR, GUIDs, IUnknown and IDispatch. On Windows these are the
// system's own declarations; elsewhere a small compatible subset.
#pragma once

#if defined(_WIN32)
#include "platform/windows/com_base_win.h"
#else
#include "platform/posix/com_base_posix.h"
#endif
