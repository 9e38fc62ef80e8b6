// IConnectionPointContainer and IConnectionPoint for systems without COM,
// laid out as on Windows: same vtable order, interface identifiers and
// CONNECT_E_ codes. The enumerations they can hand out stay opaque here; the
// objects of this code base answer E_NOTIMPL for them.
#pragma once

#include "platform/posix/com_base_posix.h"

#define CONNECT_E_NOCONNECTION _HRESULT_TYPEDEF_(0x80040200)
#define CONNECT_E_ADVISELIMIT _HRESULT_TYPEDEF_(0x80040201)
#define CONNECT_E_CANNOTCONNECT _HRESULT_TYPEDEF_(0x80040202)
#define CONNECT_E_OVERRIDDEN _HRESULT_TYPEDEF_(0x80040203)

inline constexpr IID IID_IConnectionPointContainer = {
    0xB196B284,
    0xBAB4,
    0x101A,
    {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
inline constexpr IID IID_IConnectionPoint = {
    0xB196B286,
    0xBAB4,
    0x101A,
    {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};

struct IEnumConnections;
struct IEnumConnectionPoints;
struct IConnectionPointContainer;

// One event interface's subscription point (slots 3-7).
struct IConnectionPoint : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  GetConnectionPointContainer(IConnectionPointContainer** container) = 0;
  virtual HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) = 0;
  virtual HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  EnumConnections(IEnumConnections** connections) = 0;

 protected:
  ~IConnectionPoint() = default;
};

// An object's connection points, by event interface (slots 3-4).
struct IConnectionPointContainer : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE
  EnumConnectionPoints(IEnumConnectionPoints** points) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  FindConnectionPoint(REFIID riid, IConnectionPoint** point) = 0;

 protected:
  ~IConnectionPointContainer() = default;
};
