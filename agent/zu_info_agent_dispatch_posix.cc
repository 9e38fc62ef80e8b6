// IDispatch and IProvideClassInfo of the agent where there are no type
// libraries: the methods exist so that the vtable matches, and late-bound
// calls are refused. Clients here call AddData and Search directly.
#include "agent/zu_info_agent.h"

namespace qoinfo {

HRESULT CZuInfoAgent::GetTypeInfoCount(UINT* count) {
  if (count == nullptr) return E_POINTER;
  *count = 1;
  return S_OK;
}

HRESULT CZuInfoAgent::GetTypeInfo(UINT /*index*/, LCID /*locale*/,
                                  ITypeInfo** info) {
  if (info == nullptr) return E_POINTER;
  *info = nullptr;
  return E_NOTIMPL;
}

HRESULT CZuInfoAgent::GetIDsOfNames(REFIID /*riid*/, LPOLESTR* /*names*/,
                                    UINT /*count*/, LCID /*locale*/,
                                    DISPID* /*ids*/) {
  return E_NOTIMPL;
}

HRESULT CZuInfoAgent::Invoke(DISPID /*id*/, REFIID /*riid*/, LCID /*locale*/,
                             WORD /*flags*/, DISPPARAMS* /*params*/,
                             VARIANT* /*result*/, EXCEPINFO* /*exception*/,
                             UINT* /*arg_error*/) {
  return E_NOTIMPL;
}

HRESULT CZuInfoAgent::GetClassInfo(ITypeInfo** info) {
  if (info == nullptr) return E_POINTER;
  *info = nullptr;
  return E_NOTIMPL;
}

}  // namespace qoinfo
