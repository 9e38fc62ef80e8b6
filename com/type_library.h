// The QoInfoAgent type library as the Windows objects serve IDispatch and
// IProvideClassInfo from it: either the registered library (LIBID, version
// 1.0) or the copy in this executable's own resources. Windows only.
#pragma once

#include "platform/com_base.h"

namespace qoinfo {

// The type description of `guid` in the registered library, loaded afresh:
// the system keeps loaded libraries cached, and automation calls are rare.
HRESULT LoadRegisteredTypeInfo(REFGUID guid, ITypeInfo** info);

// The type description of `guid` in the library inside the module's own
// file. E_FAIL when the module's path cannot be had or does not fit in
// MAX_PATH characters.
HRESULT LoadModuleTypeInfo(REFGUID guid, ITypeInfo** info);

// DISP_E_BADPARAMCOUNT when `params` carries more arguments than method `id`
// of `info` takes (its parameters less an [out, retval] one). The system's
// dispatch checks this itself; wine's passes surplus arguments over, so the
// check is made here for both.
HRESULT CheckArgumentCount(ITypeInfo* info, DISPID id,
                           const DISPPARAMS* params);

}  // namespace qoinfo
