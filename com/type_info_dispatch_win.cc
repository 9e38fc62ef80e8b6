#include "com/type_info_dispatch.h"
#include "com/type_library.h"

namespace qoinfo {

HRESULT TypeInfoDispatch::GetTypeInfoCount(UINT* count) const {
  if (count == nullptr) return E_POINTER;
  *count = 1;
  return S_OK;
}

HRESULT TypeInfoDispatch::GetTypeInfo(UINT index, ITypeInfo** info) const {
  if (info == nullptr) return E_POINTER;
  *info = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  return LoadRegisteredTypeInfo(iid_, info);
}

HRESULT TypeInfoDispatch::GetIDsOfNames(REFIID riid, LPOLESTR* names,
                                        UINT count, DISPID* ids) const {
  if (!IsEqualGUID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  ITypeInfo* info = nullptr;
  HRESULT hr = LoadRegisteredTypeInfo(iid_, &info);
  if (FAILED(hr)) return hr;
  hr = info->GetIDsOfNames(names, count, ids);
  info->Release();
  return hr;
}

HRESULT TypeInfoDispatch::Invoke(DISPID id, REFIID riid, WORD flags,
                                 DISPPARAMS* params, VARIANT* result,
                                 EXCEPINFO* exception, UINT* arg_error) const {
  if (!IsEqualGUID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  ITypeInfo* info = nullptr;
  HRESULT hr = LoadRegisteredTypeInfo(iid_, &info);
  if (FAILED(hr)) return hr;
  hr = CheckArgumentCount(info, id, params);
  // The type description calls the vtable methods of the dual interface.
  if (SUCCEEDED(hr)) {
    hr = info->Invoke(object_, id, flags, params, result, exception, arg_error);
  }
  info->Release();
  return hr;
}

HRESULT TypeInfoDispatch::GetClassInfo(REFCLSID clsid, ITypeInfo** info) {
  if (info == nullptr) return E_POINTER;
  return LoadRegisteredTypeInfo(clsid, info);
}

}  // namespace qoinfo
