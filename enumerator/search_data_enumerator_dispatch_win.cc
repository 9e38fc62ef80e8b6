// IDispatch and IProvideClassInfo of the enumerator, served from the
// registered QoInfoAgent type library (LIBID, version 1.0). Without the
// registered library these calls fail, while the vtable methods still work.
#include "enumerator/search_data_enumerator.h"

namespace qoinfo {
namespace {

// The locale the library declares and is registered under. The system falls
// back from a specific locale to the neutral one, not the other way.
constexpr LCID kLibraryLocale = 0x0409;

// The type description of `guid` in the registered library, loaded afresh:
// the system keeps loaded libraries cached, and automation calls are rare.
HRESULT LoadTypeInfo(REFGUID guid, ITypeInfo** info) {
  *info = nullptr;
  ITypeLib* library = nullptr;
  HRESULT hr =
      LoadRegTypeLib(LIBID_QoInfoAgent, 1, 0, kLibraryLocale, &library);
  if (FAILED(hr)) return hr;
  hr = library->GetTypeInfoOfGuid(guid, info);
  library->Release();
  return hr;
}

// DISP_E_BADPARAMCOUNT when `params` carries more arguments than method `id`
// takes (its parameters less an [out, retval] one). The system's dispatch
// checks this itself; wine's passes surplus arguments over, so the check is
// made here for both.
HRESULT CheckArgumentCount(ITypeInfo* info, DISPID id,
                           const DISPPARAMS* params) {
  if (params == nullptr) return S_OK;  // Invoke itself reports that
  TYPEATTR* attr = nullptr;
  HRESULT hr = info->GetTypeAttr(&attr);
  if (FAILED(hr)) return hr;
  const UINT functions = attr->cFuncs;
  info->ReleaseTypeAttr(attr);
  for (UINT i = 0; i < functions; ++i) {
    FUNCDESC* function = nullptr;
    if (FAILED(info->GetFuncDesc(i, &function))) continue;
    bool too_many = false;
    const bool found =
        function->memid == id && (function->invkind & INVOKE_FUNC) != 0;
    if (found && function->cParamsOpt != -1) {  // -1: a variable list
      UINT accepted = static_cast<UINT>(function->cParams);
      if (accepted > 0 &&
          (function->lprgelemdescParam[accepted - 1].paramdesc.wParamFlags &
           PARAMFLAG_FRETVAL) != 0) {
        --accepted;
      }
      too_many = params->cArgs > accepted;
    }
    info->ReleaseFuncDesc(function);
    if (too_many) return DISP_E_BADPARAMCOUNT;
    if (found) break;
  }
  return S_OK;
}

}  // namespace

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
  return LoadTypeInfo(IID_ISearchDataEnumerator, info);
}

HRESULT CSearchDataEnumerator::GetIDsOfNames(REFIID riid, LPOLESTR* names,
                                             UINT count, LCID /*locale*/,
                                             DISPID* ids) {
  if (!IsEqualGUID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  ITypeInfo* info = nullptr;
  HRESULT hr = LoadTypeInfo(IID_ISearchDataEnumerator, &info);
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
  HRESULT hr = LoadTypeInfo(IID_ISearchDataEnumerator, &info);
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
  return LoadTypeInfo(CLSID_CSearchDataEnumerator, info);
}

}  // namespace qoinfo
