#include "tools/common/text_input.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>

#include "platform/utf8.h"

namespace qoinfo::tools {

bool ReadAllBytes(const std::string& path, std::string* bytes,
                  std::string* error) {
  if (path.empty() || path == "-") {
    bytes->assign(std::istreambuf_iterator<char>(std::cin),
                  std::istreambuf_iterator<char>());
    if (std::cin.bad()) {
      *error = "cannot read standard input";
      return false;
    }
    return true;
  }
  const std::filesystem::path file(std::u8string(path.begin(), path.end()));
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    *error = "cannot open " + path;
    return false;
  }
  bytes->assign(std::istreambuf_iterator<char>(in),
                std::istreambuf_iterator<char>());
  if (in.bad()) {
    *error = "cannot read " + path;
    return false;
  }
  return true;
}

bool DecodeUtf8Text(const std::string& bytes, std::u16string* text,
                    std::string* error) {
  std::string_view view(bytes);
  std::size_t skipped = 0;
  if (view.substr(0, 3) == "\xEF\xBB\xBF") {
    view.remove_prefix(3);
    skipped = 3;
  }
  std::size_t offset = 0;
  if (!platform::Utf8ToUtf16(view, text, &offset)) {
    *error = "invalid UTF-8 at byte " + std::to_string(offset + skipped);
    return false;
  }
  return true;
}

}  // namespace qoinfo::tools
