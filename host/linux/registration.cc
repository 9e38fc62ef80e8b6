#include "host/linux/registration.h"

namespace qoinfo::bus {

HRESULT RunRegistrationSwitch(ServerSwitch) { return E_NOTIMPL; }

bool IsRegisteredAsService() { return false; }

}  // namespace qoinfo::bus
