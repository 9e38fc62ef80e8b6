// Reading the UTF-8 text a command works on, from a file or standard input.
#pragma once

#include <string>

namespace qoinfo::tools {

// Reads all of `path` ("-" or empty: standard input) into `bytes`. On
// failure returns false and describes it in `error`.
bool ReadAllBytes(const std::string& path, std::string* bytes,
                  std::string* error);

// Decodes UTF-8 `bytes` (a leading byte-order mark is dropped) into `text`.
// On invalid UTF-8 returns false with a message naming the byte offset.
bool DecodeUtf8Text(const std::string& bytes, std::u16string* text,
                    std::string* error);

}  // namespace qoinfo::tools
