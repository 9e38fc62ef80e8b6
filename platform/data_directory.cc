#include "platform/data_directory.h"

#include "platform/environment.h"

namespace platform {

HRESULT UserDataDirectory(std::u16string* directory) {
  if (directory == nullptr) return E_POINTER;
  directory->clear();
  std::u16string chosen;
  if (GetEnvironment(kDataDirectoryVariable, &chosen) && !chosen.empty()) {
    *directory = WithoutTrailingSeparators(std::move(chosen));
    return S_OK;
  }
  return DefaultDataDirectory(directory);
}

}  // namespace platform
