// Reading the two JSON shapes the tools take as input: an array of
// strings, such as a command line in a batch file (["add", "--url",
// "http://x"]), and a flat object whose values are strings, numbers, true,
// false or null, such as a message to the browser's native host
// ({"type":"search","query":"words","id":3}).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace qoinfo::tools {

// Parses `text` (UTF-8; white space around tokens allowed) as a JSON array
// of strings into `items` (UTF-8). False with `error` naming the byte offset
// when it is anything else, including a string with an unpaired surrogate
// escape or invalid UTF-8.
bool ParseJsonStringArray(std::string_view text, std::vector<std::string>* items,
                          std::string* error);

// One value of a flat object.
struct JsonValue {
  enum class Kind { kNull, kBoolean, kNumber, kString };
  Kind kind = Kind::kNull;
  bool boolean = false;
  // A number is `whole` when it is written without a fraction or an
  // exponent and fits in 64 bits; `integer` then holds it.
  bool whole = false;
  std::int64_t integer = 0;
  std::string text;  // a string, in UTF-8
};
using JsonObject = std::map<std::string, JsonValue, std::less<>>;

// Parses `text` as one JSON object with unique keys and no nested object or
// array. False with `error` naming the byte offset otherwise; strings are
// checked as in ParseJsonStringArray.
bool ParseJsonFlatObject(std::string_view text, JsonObject* object,
                         std::string* error);

}  // namespace qoinfo::tools
