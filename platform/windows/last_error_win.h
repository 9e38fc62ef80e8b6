// The calling thread's last Windows error as an HRESULT (E_FAIL when the
// system recorded none), for the Windows implementations of the platform.
#pragma once

#include <windows.h>

namespace platform {

inline HRESULT LastErrorHResult() {
  const DWORD error = GetLastError();
  return error == 0 ? E_FAIL : HRESULT_FROM_WIN32(error);
}

}  // namespace platform
