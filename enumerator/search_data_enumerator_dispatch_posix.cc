// IDispatch and IProvideClassInfo of the enumerator where there are no type
// libraries: the methods exist so that the vtable matches, and late-bound
// calls are refused. Clients on this platform call the methods directly (or
// over D-Bus).
#include "enumerator/search_data_enumerator.h"

namespace qoinfo {

HRESULT CSearchDataEnumerator::GetTypeInfoCount(UINT* count) {
  if (count == nullptr) return E_POINTER;
  *count = 1;
  return S_OK;
}

HRESULT CSearchDataEnumerator::GetTypeInfo(UINT /*index*/, LCID /*locale*/,
                                           ITypeInfo** info) {
  if (info == nullptr) return E_POINTER;
  *info = nullptr;
  return E_NOTIMPL;
}

HRESULT CSearchDataEnumerator::GetIDsOfNames(REFIID /*riid*/,
                                             LPOLESTR* /*names*/,
                                             UINT /*count*/, LCID /*locale*/,
                                             DISPID* /*ids*/) {
  return E_NOTIMPL;
}

HRESULT CSearchDataEnumerator::Invoke(DISPID /*id*/, REFIID /*riid*/,
                                      LCID /*locale*/, WORD /*flags*/,
                                      DISPPARAMS* /*params*/,
                                      VARIANT* /*result*/,
                                      EXCEPINFO* /*exception*/,
                                      UINT* /*arg_error*/) {
  return E_NOTIMPL;
}

HRESULT CSearchDataEnumerator::GetClassInfo(ITypeInfo** info) {
  if (info == nullptr) return E_POINTER;
  *info = nullptr;
  return E_NOTIMPL;
}

}  // namespace qoinfo
