// The HRESULT for a POSIX error number: the Win32 error a Windows build would
// meet in the same situation, wrapped as an HRESULT, so that callers see
// the same codes on both platforms.
#pragma once

#include <cerrno>

#include "platform/posix/com_base_posix.h"

namespace platform {

inline HRESULT HResultFromErrno(int error) {
  switch (error) {
    case ENOENT:
      return _HRESULT_TYPEDEF_(0x80070002);  // file not found
    case ENOTDIR:
      return _HRESULT_TYPEDEF_(0x80070003);  // path not found
    case EACCES:
    case EPERM:
    case EROFS:
      return E_ACCESSDENIED;
    case EEXIST:
      return _HRESULT_TYPEDEF_(0x80070050);  // file exists
    case ENOSPC:
    case EDQUOT:
      return _HRESULT_TYPEDEF_(0x80070070);  // disk full
    case ENAMETOOLONG:
      return _HRESULT_TYPEDEF_(0x800700CE);  // name too long
    case ENOMEM:
      return E_OUTOFMEMORY;
    default:
      return E_FAIL;
  }
}

}  // namespace platform
