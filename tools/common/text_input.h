// Reading the UTF-8 text a command works on, from a file or standard input.
#pragma once

#include <string>

namespace qoinfo::tools {

// Reads all of `path` ("-" or empty: standard input) into `bytes`. On
// failure returns false and describes it in `error`.
bool ReadAllBytes(const std::string& path, std::string* bytes,
                  std::string* error);

// Decodes UTF-8 `bytes` (a leading byte-order mark is dropped) into `name`,
// every character kept (a folder's name). On invalid UTF-8 returns false
// with a message naming the byte offset.
bool DecodeUtf8Name(const std::string& bytes, std::u16string* name,
                    std::string* error);

// Decodes text that the agent or the history is given (a page's text, URL,
// path or title, a query) as DecodeUtf8Name does, then as every way in
// carries it (platform::ToCarriedText): up to its first NUL, noncharacters
// as U+FFFD. Through the server or embedded, the same input then files the
// same visit and the same words.
bool DecodeUtf8Text(const std::string& bytes, std::u16string* text,
                    std::string* error);

}  // namespace qoinfo::tools
