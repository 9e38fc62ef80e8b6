// A file in memory-backed /dev/shm holding a fuzz input, for readers that
// take a path. One per process; rewritten for each input.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace qoinfo::fuzzing {

inline const std::string& InputPath(const char* name) {
  static const std::string path =
      "/dev/shm/qoinfo-fuzz-" + std::to_string(::getpid()) + "-" + name;
  return path;
}

inline void WriteInput(const std::string& path, const std::uint8_t* data,
                       std::size_t size) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) __builtin_trap();
  if (size > 0 && std::fwrite(data, 1, size, file) != size) __builtin_trap();
  std::fclose(file);
}

}  // namespace qoinfo::fuzzing
