#include "com/type_info_dispatch.h"

namespace qoinfo {

HRESULT TypeInfoDispatch::GetTypeInfoCount(UINT* count) const {
  if (count == nullptr) return E_POINTER;
  *count = 1;
  return S_OK;
}

HRESULT TypeInfoDispatch::GetTypeInfo(UINT /*index*/, ITypeInfo** info) const {
  if (info == nullptr) return E_POINTER;
  *info = nullptr;
  return E_NOTIMPL;
}

HRESULT TypeInfoDispatch::GetIDsOfNames(REFIID /*riid*/, LPOLESTR* /*names*/,
                                        UINT /*count*/, DISPID* /*ids*/) const {
  return E_NOTIMPL;
}

HRESULT TypeInfoDispatch::Invoke(DISPID /*id*/, REFIID /*riid*/, WORD /*flags*/,
                                 DISPPARAMS* /*params*/, VARIANT* /*result*/,
                                 EXCEPINFO* /*exception*/,
                                 UINT* /*arg_error*/) const {
  return E_NOTIMPL;
}

HRESULT TypeInfoDispatch::GetClassInfo(REFCLSID /*clsid*/, ITypeInfo** info) {
  if (info == nullptr) return E_POINTER;
  *info = nullptr;
  return E_NOTIMPL;
}

}  // namespace qoinfo
