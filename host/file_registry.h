// The registry of a system without one: a RegistryTree stored in one file
// as the registration script that recreates it (registry_tree.h). Load
// reads it (no file: an empty registry); Save replaces the file atomically.
// A registration run loads, works in memory and saves once, also after a
// failed step, since what earlier steps wrote stays. Not thread-safe.
#pragma once

#include <string>

#include "host/registry_tree.h"

namespace qoinfo {

// HRESULT_FROM_WIN32(ERROR_BADDB): the registry file cannot be read back.
inline constexpr HRESULT kRegistryFileCorrupt = static_cast<HRESULT>(0x800703F1u);

class FileRegistry : public RegistryTree {
 public:
  explicit FileRegistry(std::u16string path) : path_(std::move(path)) {}

  HRESULT Load(std::string* why = nullptr);
  HRESULT Save() const;
  const std::u16string& path() const { return path_; }

 private:
  std::u16string path_;
};

}  // namespace qoinfo
