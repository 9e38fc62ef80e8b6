#include "bench/engine.h"

#include <filesystem>

#include "agent/word_extraction.h"
#include "platform/utf8.h"
#include "platform/wide_string.h"

namespace qoinfo::bench {

std::u16string Wide(const std::string& utf8) {
  std::u16string wide;
  std::size_t offset = 0;
  platform::Utf8ToUtf16(utf8, &wide, &offset);
  return wide;
}

platform::UniqueBstr BstrOf(const std::string& utf8) {
  return platform::UniqueBstr(platform::AllocBstr(Wide(utf8)));
}

std::vector<std::pair<std::string, std::int32_t>> ExtractPageWords(
    const std::string& text) {
  const platform::UniqueBstr bstr = BstrOf(text);
  std::vector<std::pair<std::string, std::int32_t>> out;
  for (const auto& [word, count] : ExtractWords(bstr.get())) {
    out.emplace_back(platform::Utf16ToUtf8(word), count);
  }
  return out;
}

std::uint64_t DiskUsage(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code error;
  if (fs::is_regular_file(path, error)) return fs::file_size(path, error);
  std::uint64_t total = 0;
  for (const auto& entry : fs::recursive_directory_iterator(path, error)) {
    if (entry.is_regular_file(error)) total += entry.file_size(error);
  }
  return total;
}

}  // namespace qoinfo::bench
