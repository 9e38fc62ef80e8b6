// IDispatch and IProvideClassInfo of the enumerator, served from the
// registered QoInfoAgent type library (LIBID, version 1.0). Without the
// registered library these calls fail, while the vtable methods still work.
#include "enumerator/search_data_enumerator.h"
#include "host/type_library.h"

namespace qoinfo {

HRESULT CSearchDataEnumerator::GetTypeInfoCount(UINT* count) {
  if (count == nullptr) return E_POINTER;
  *count = 1;
  return S_OK;
}

HRESULT CSearchDataEnumerator::GetTypeInfo(UINT index, LCID /*locale*/,
                                           ITypeInfo** info) {
  if (info == nullptr) return E_POINTER;
  *info = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  return LoadRegisteredTypeInfo(IID_ISearchDataEnumerator, info);
}

HRESULT CSearchDataEnumerator::GetIDsOfNames(REFIID riid, LPOLESTR* names,
                                             UINT count, LCID /*locale*/,
                                             DISPID* ids) {
  if (!IsEqualGUID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  ITypeInfo* info = nullptr;
  HRESULT hr = LoadRegisteredTypeInfo(IID_ISearchDataEnumerator, &info);
  if (FAILED(hr)) return hr;
  hr = info->GetIDsOfNames(names, count, ids);
  info->Release();
  return hr;
}

HRESULT CSearchDataEnumerator::Invoke(DISPID id, REFIID riid, LCID /*locale*/,
                                      WORD flags, DISPPARAMS* params,
                                      VARIANT* result, EXCEPINFO* exception,
                                      UINT* arg_error) {
  if (!IsEqualGUID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  ITypeInfo* info = nullptr;
  HRESULT hr = LoadRegisteredTypeInfo(IID_ISearchDataEnumerator, &info);
  if (FAILED(hr)) return hr;
  hr = CheckArgumentCount(info, id, params);
  // The type description calls the vtable methods of the dual interface.
  if (SUCCEEDED(hr)) {
    hr = info->Invoke(static_cast<ISearchDataEnumerator*>(this), id, flags,
                      params, result, exception, arg_error);
  }
  info->Release();
  return hr;
}

HRESULT CSearchDataEnumerator::GetClassInfo(ITypeInfo** info) {
  if (info == nullptr) return E_POINTER;
  return LoadRegisteredTypeInfo(CLSID_CSearchDataEnumerator, info);
}

}  // namespace qoinfo
