// IDispatch and IProvideClassInfo of the dual interfaces of the QoInfoAgent
// type library (the agent and the enumerator), in one place. Where the
// platform has type libraries they are served from the registered library
// (LIBID, version 1.0): without it registered these calls fail while the
// vtable methods still work. Elsewhere the methods exist so that the
// vtables match, and late-bound calls are refused with E_NOTIMPL. One
// source file per platform; stateless and thread-safe.
#pragma once

#include "platform/com_base.h"

namespace qoinfo {

class TypeInfoDispatch {
 public:
  // `iid` is the dual interface, `object` a pointer to it.
  explicit TypeInfoDispatch(REFIID iid, void* object)
      : iid_(iid), object_(object) {}

  HRESULT GetTypeInfoCount(UINT* count) const;
  HRESULT GetTypeInfo(UINT index, ITypeInfo** info) const;
  HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count,
                        DISPID* ids) const;
  HRESULT Invoke(DISPID id, REFIID riid, WORD flags, DISPPARAMS* params,
                 VARIANT* result, EXCEPINFO* exception, UINT* arg_error) const;
  // IProvideClassInfo: the coclass `clsid`.
  static HRESULT GetClassInfo(REFCLSID clsid, ITypeInfo** info);

 private:
  // (Unused where the platform has no type libraries.)
  [[maybe_unused]] const IID& iid_;
  [[maybe_unused]] void* object_;
};

}  // namespace qoinfo
