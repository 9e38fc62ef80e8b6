// Finding the copies that a load of a damaged file left in a folder
// ("<name>.damaged-<UTC time>", see index/index_files.h), for the tools
// that point people at them.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace qoinfo::tools {

// The names of the damaged copies in `folder`, sorted; only those of the
// file named `of` when it is not empty.
std::vector<std::string> DamagedCopies(const std::filesystem::path& folder,
                                       const std::string& of = std::string());

}  // namespace qoinfo::tools
