// Structured-storage declarations for POSIX: the calls, flags and codes the
// index files use, with Windows' names, values and argument order.
#pragma once

#include "platform/posix/com_base_posix.h"

struct LARGE_INTEGER {
  std::int64_t QuadPart;
};
struct ULARGE_INTEGER {
  std::uint64_t QuadPart;
};

#define STGM_READ 0x00000000u
#define STGM_WRITE 0x00000001u
#define STGM_READWRITE 0x00000002u
#define STGM_SHARE_EXCLUSIVE 0x00000010u
#define STGM_CREATE 0x00001000u
#define STGFMT_STORAGE 0u
#define STGC_DEFAULT 0u

enum STREAM_SEEK : DWORD {
  STREAM_SEEK_SET = 0,
  STREAM_SEEK_CUR = 1,
  STREAM_SEEK_END = 2,
};

#define STG_E_INVALIDFUNCTION _HRESULT_TYPEDEF_(0x80030001)
#define STG_E_FILENOTFOUND _HRESULT_TYPEDEF_(0x80030002)
#define STG_E_PATHNOTFOUND _HRESULT_TYPEDEF_(0x80030003)
#define STG_E_ACCESSDENIED _HRESULT_TYPEDEF_(0x80030005)
#define STG_E_INVALIDPOINTER _HRESULT_TYPEDEF_(0x80030009)
#define STG_E_WRITEFAULT _HRESULT_TYPEDEF_(0x8003001D)
#define STG_E_READFAULT _HRESULT_TYPEDEF_(0x8003001E)
#define STG_E_INVALIDPARAMETER _HRESULT_TYPEDEF_(0x80030057)
#define STG_E_MEDIUMFULL _HRESULT_TYPEDEF_(0x80030070)
#define STG_E_INVALIDFLAG _HRESULT_TYPEDEF_(0x800300FF)
#define STG_E_FILEALREADYEXISTS _HRESULT_TYPEDEF_(0x80030050)
#define STG_E_REVERTED _HRESULT_TYPEDEF_(0x80030102)

inline constexpr IID IID_ISequentialStream = {
    0x0C733A30, 0x2A1C, 0x11CE, {0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44, 0x77, 0x3D}};
inline constexpr IID IID_IStream = {
    0x0000000C, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_IStorage = {
    0x0000000B, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

struct ISequentialStream : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Read(void* buffer, ULONG size,
                                         ULONG* read) = 0;
  virtual HRESULT STDMETHODCALLTYPE Write(const void* buffer, ULONG size,
                                          ULONG* written) = 0;

 protected:
  ~ISequentialStream() = default;
};

struct IStream : ISequentialStream {
  virtual HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin,
                                         ULARGE_INTEGER* position) = 0;

 protected:
  ~IStream() = default;
};

struct IStorage : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE CreateStream(const OLECHAR* name,
                                                 DWORD mode, DWORD reserved1,
                                                 DWORD reserved2,
                                                 IStream** stream) = 0;
  virtual HRESULT STDMETHODCALLTYPE OpenStream(const OLECHAR* name,
                                               void* reserved1, DWORD mode,
                                               DWORD reserved2,
                                               IStream** stream) = 0;
  virtual HRESULT STDMETHODCALLTYPE Commit(DWORD flags) = 0;

 protected:
  ~IStorage() = default;
};

struct STGOPTIONS;

HRESULT StgCreateStorageEx(const OLECHAR* name, DWORD mode, DWORD format,
                           DWORD attributes, STGOPTIONS* options,
                           void* security, REFIID riid, void** object);
HRESULT StgOpenStorageEx(const OLECHAR* name, DWORD mode, DWORD format,
                         DWORD attributes, STGOPTIONS* options, void* security,
                         REFIID riid, void** object);
