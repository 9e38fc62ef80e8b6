// IDispatch and IProvideClassInfo of the agent, served from the registered
// QoInfoAgent type library. Invoke reaches AddData (DISPID 1) and Search
// (DISPID 2) through the library's description of the dual interface.
#include "agent/zu_info_agent.h"
#include "host/type_library.h"

namespace qoinfo {

HRESULT CZuInfoAgent::GetTypeInfoCount(UINT* count) {
  if (count == nullptr) return E_POINTER;
  *count = 1;
  return S_OK;
}

HRESULT CZuInfoAgent::GetTypeInfo(UINT index, LCID /*locale*/,
                                  ITypeInfo** info) {
  if (info == nullptr) return E_POINTER;
  *info = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  return LoadRegisteredTypeInfo(IID_IZuInfoAgent, info);
}

HRESULT CZuInfoAgent::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count,
                                    LCID /*locale*/, DISPID* ids) {
  if (!IsEqualGUID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  ITypeInfo* info = nullptr;
  HRESULT hr = LoadRegisteredTypeInfo(IID_IZuInfoAgent, &info);
  if (FAILED(hr)) return hr;
  hr = info->GetIDsOfNames(names, count, ids);
  info->Release();
  return hr;
}

HRESULT CZuInfoAgent::Invoke(DISPID id, REFIID riid, LCID /*locale*/,
                             WORD flags, DISPPARAMS* params, VARIANT* result,
                             EXCEPINFO* exception, UINT* arg_error) {
  if (!IsEqualGUID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  ITypeInfo* info = nullptr;
  HRESULT hr = LoadRegisteredTypeInfo(IID_IZuInfoAgent, &info);
  if (FAILED(hr)) return hr;
  hr = CheckArgumentCount(info, id, params);
  if (SUCCEEDED(hr)) {
    hr = info->Invoke(static_cast<IZuInfoAgent*>(this), id, flags, params,
                      result, exception, arg_error);
  }
  info->Release();
  return hr;
}

HRESULT CZuInfoAgent::GetClassInfo(ITypeInfo** info) {
  if (info == nullptr) return E_POINTER;
  return LoadRegisteredTypeInfo(CLSID_CZuInfoAgent, info);
}

}  // namespace qoinfo
