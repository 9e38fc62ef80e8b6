#include "tools/common/damaged_copies.h"

#include <algorithm>
#include <system_error>

namespace qoinfo::tools {

std::vector<std::string> DamagedCopies(const std::filesystem::path& folder,
                                       const std::string& of) {
  std::vector<std::string> copies;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    const std::string name = entry.path().filename().string();
    const std::size_t mark = name.find(".damaged-");
    if (mark != std::string::npos &&
        (of.empty() || name.substr(0, mark) == of)) {
      copies.push_back(name);
    }
  }
  std::sort(copies.begin(), copies.end());
  return copies;
}

}  // namespace qoinfo::tools
