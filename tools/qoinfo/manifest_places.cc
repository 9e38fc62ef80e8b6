#include "tools/qoinfo/manifest_places.h"

#include <filesystem>
#include <system_error>

namespace qoinfo::tools {

namespace fs = std::filesystem;

std::u16string NativeHostProgram() {
  return (fs::path(ProgramFolder()) /
          (std::string("qoinfo-native-host") + kProgramSuffix))
      .u16string();
}

std::u16string ExtensionFolder() {
  std::error_code error;
  const fs::path folder = fs::weakly_canonical(
      fs::path(ProgramFolder()) / ".." / "extension", error);
  if (error || !fs::is_regular_file(folder / "manifest.json", error)) {
    return std::u16string();
  }
  return folder.u16string();
}

}  // namespace qoinfo::tools
