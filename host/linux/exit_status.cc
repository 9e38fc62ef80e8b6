#include "host/linux/exit_status.h"

#include "host/registry_tree.h"

namespace qoinfo::bus {

ExitStatus ExitStatusOf(HRESULT hr) {
  if (SUCCEEDED(hr)) return kExitSuccess;
  if (hr == kRegistryNotFound) return kExitNotRegistered;
  return kExitFailure;
}

}  // namespace qoinfo::bus
