// Late-bound calls of the event sink on Windows: sources may fire events
// through Invoke. Arguments are converted to 32-bit integers as automation
// does; the type information comes from the module's own type library,
// loaded afresh for every call.
#include "agent/url_base_event_sink.h"
#include "com/type_library.h"

namespace qoinfo {
namespace {

// The single argument of an event as a 32-bit integer.
HRESULT ArgumentAsInt32(const DISPPARAMS* params, UINT* arg_error,
                        LONG* value) {
  const VARIANT& argument = params->rgvarg[0];
  if (V_VT(&argument) == VT_I4) {
    *value = V_I4(&argument);
    return S_OK;
  }
  VARIANT converted;
  VariantInit(&converted);
  HRESULT hr = VariantChangeType(&converted, const_cast<VARIANT*>(&argument),
                                 0, VT_I4);
  // Windows refuses an unsigned value above 2^31-1 as an overflow; wine's
  // conversion wraps it. Both builds refuse it.
  const VARTYPE type = V_VT(&argument);
  if (SUCCEEDED(hr) && (type == VT_UI4 || type == VT_UINT) &&
      V_UI4(&argument) > 0x7FFFFFFFu) {
    hr = DISP_E_OVERFLOW;
  }
  if (FAILED(hr)) {
    if (arg_error != nullptr) *arg_error = 0;
    return DISP_E_TYPEMISMATCH;
  }
  *value = V_I4(&converted);
  VariantClear(&converted);
  return S_OK;
}

// Fills `exception` from the thread's error information, with `failure` as
// its code.
void FillException(EXCEPINFO* exception, HRESULT failure) {
  *exception = EXCEPINFO{};
  exception->scode = failure;
  IErrorInfo* error = nullptr;
  if (GetErrorInfo(0, &error) != S_OK || error == nullptr) return;
  error->GetSource(&exception->bstrSource);
  error->GetDescription(&exception->bstrDescription);
  error->GetHelpFile(&exception->bstrHelpFile);
  error->GetHelpContext(&exception->dwHelpContext);
  error->Release();
}

}  // namespace

HRESULT __Impl_BromHelper_IBromURLBaseEvents::GetTypeInfoCount(UINT* count) {
  if (count == nullptr) return E_POINTER;
  ITypeInfo* info = nullptr;
  *count = SUCCEEDED(LoadModuleTypeInfo(IID_IBromURLBaseEvents, &info)) ? 1 : 0;
  if (info != nullptr) info->Release();
  return S_OK;
}

HRESULT __Impl_BromHelper_IBromURLBaseEvents::GetTypeInfo(UINT index,
                                                          LCID /*locale*/,
                                                          ITypeInfo** info) {
  if (info == nullptr) return E_POINTER;
  *info = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  return LoadModuleTypeInfo(IID_IBromURLBaseEvents, info);
}

HRESULT __Impl_BromHelper_IBromURLBaseEvents::Invoke(
    DISPID id, REFIID /*riid*/, LCID /*locale*/, WORD /*flags*/,
    DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
    UINT* arg_error) {
  if (params == nullptr) return DISP_E_BADVARTYPE;
  if (params->cArgs > 1) return DISP_E_BADPARAMCOUNT;
  if (result != nullptr) VariantInit(result);
  HRESULT hr;
  switch (id) {
    case kOnDataAddedId:
    case kOnDataBeforeRemoveId: {
      if (params->cArgs != 1) return DISP_E_BADPARAMCOUNT;
      LONG index = 0;
      hr = ArgumentAsInt32(params, arg_error, &index);
      if (FAILED(hr)) return hr;
      const ULONG argument = static_cast<ULONG>(index);
      hr = id == kOnDataAddedId ? OnDataAdded(argument)
                                : OnDataBeforeRemove(argument);
      break;
    }
    case kOnSettingsChangedId:
      if (params->cArgs != 0) return DISP_E_BADPARAMCOUNT;
      hr = OnSettingsChanged();
      break;
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
  if (FAILED(hr) && exception != nullptr) FillException(exception, hr);
  return hr;
}

}  // namespace qoinfo
