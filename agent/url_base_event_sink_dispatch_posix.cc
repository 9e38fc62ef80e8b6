// Late-bound calls of the event sink where there are no type libraries or
// variants: sources on this platform call the event methods directly.
#include "agent/url_base_event_sink.h"

namespace qoinfo {

HRESULT __Impl_BromHelper_IBromURLBaseEvents::GetTypeInfoCount(UINT* count) {
  if (count == nullptr) return E_POINTER;
  *count = 0;
  return S_OK;
}

HRESULT __Impl_BromHelper_IBromURLBaseEvents::GetTypeInfo(UINT index,
                                                          LCID /*locale*/,
                                                          ITypeInfo** info) {
  if (info == nullptr) return E_POINTER;
  *info = nullptr;
  return index != 0 ? DISP_E_BADINDEX : E_NOTIMPL;
}

HRESULT __Impl_BromHelper_IBromURLBaseEvents::Invoke(
    DISPID /*id*/, REFIID /*riid*/, LCID /*locale*/, WORD /*flags*/,
    DISPPARAMS* /*params*/, VARIANT* /*result*/, EXCEPINFO* /*exception*/,
    UINT* /*arg_error*/) {
  return E_NOTIMPL;
}

}  // namespace qoinfo
