#include "com/type_library.h"

#include "com/interfaces.h"

namespace qoinfo {
namespace {

// The locale the library declares and is registered under. The system falls
// back from a specific locale to the neutral one, not the other way.
constexpr LCID kLibraryLocale = 0x0409;

HRESULT TypeInfoOf(ITypeLib* library, REFGUID guid, ITypeInfo** info) {
  const HRESULT hr = library->GetTypeInfoOfGuid(guid, info);
  library->Release();
  return hr;
}

}  // namespace

HRESULT LoadRegisteredTypeInfo(REFGUID guid, ITypeInfo** info) {
  *info = nullptr;
  ITypeLib* library = nullptr;
  const HRESULT hr =
      LoadRegTypeLib(LIBID_QoInfoAgent, 1, 0, kLibraryLocale, &library);
  if (FAILED(hr)) return hr;
  return TypeInfoOf(library, guid, info);
}

HRESULT LoadModuleTypeInfo(REFGUID guid, ITypeInfo** info) {
  *info = nullptr;
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return E_FAIL;
  ITypeLib* library = nullptr;
  const HRESULT hr = LoadTypeLib(path, &library);
  if (FAILED(hr)) return hr;
  return TypeInfoOf(library, guid, info);
}

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

}  // namespace qoinfo
