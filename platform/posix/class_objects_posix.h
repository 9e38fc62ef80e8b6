// IClassFactory and a process-local class table for systems without COM.
// Registered class objects are found by CoCreateInstance in any thread of
// the process; nothing is found outside it. Codes and slot order as on
// Windows.
#pragma once

#include "platform/posix/com_base_posix.h"

#define REGDB_E_CLASSNOTREG _HRESULT_TYPEDEF_(0x80040154)
#define CO_E_OBJNOTREG _HRESULT_TYPEDEF_(0x800401FB)

enum CLSCTX : DWORD {
  CLSCTX_INPROC_SERVER = 0x1,
  CLSCTX_INPROC_HANDLER = 0x2,
  CLSCTX_LOCAL_SERVER = 0x4,
  CLSCTX_REMOTE_SERVER = 0x10,
  CLSCTX_ALL = 0x17,
};

enum REGCLS : DWORD {
  REGCLS_SINGLEUSE = 0,
  REGCLS_MULTIPLEUSE = 1,
};

inline constexpr IID IID_IClassFactory = {
    0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// Makes instances of one class (slots 3-4).
struct IClassFactory : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid,
                                                   void** object) = 0;
  virtual HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) = 0;

 protected:
  ~IClassFactory() = default;
};

enum COINIT : DWORD {
  COINIT_MULTITHREADED = 0x0,
  COINIT_APARTMENTTHREADED = 0x2,
};

// Threads need no preparation here: S_OK, and nothing to undo.
inline HRESULT CoInitializeEx(void* /*reserved*/, DWORD /*model*/) {
  return S_OK;
}
inline void CoUninitialize() {}

// Registers `factory` (AddRef'd) for `clsid`; *cookie identifies the
// registration for CoRevokeClassObject. A class registered twice is found
// through its first registration until that one is revoked.
HRESULT CoRegisterClassObject(REFCLSID clsid, IUnknown* factory,
                              DWORD context, DWORD flags, DWORD* cookie);
// Withdraws a registration and releases its class object; CO_E_OBJNOTREG
// for an unknown cookie.
HRESULT CoRevokeClassObject(DWORD cookie);
// Asks the class object registered for `clsid` (and `context`) for an
// instance; REGDB_E_CLASSNOTREG when none is registered.
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context,
                         REFIID riid, void** object);
// Objects here have no separate running state: S_OK for any object,
// E_INVALIDARG for null.
HRESULT OleRun(IUnknown* object);
