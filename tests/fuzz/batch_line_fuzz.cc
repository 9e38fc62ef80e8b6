// libFuzzer target for the lines of qoinfo batch: a JSON array of strings
// is parsed, each string is valid UTF-8, and what the parser gives back
// quoted again parses to the same strings.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/utf8.h"
#include "tools/common/json_reader.h"
#include "tools/common/json_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  using namespace qoinfo::tools;
  const std::string line(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> items;
  std::string error;
  if (!ParseJsonStringArray(line, &items, &error)) return 0;
  std::string again = "[";
  for (std::size_t i = 0; i < items.size(); ++i) {
    std::u16string text;
    std::size_t offset = 0;
    if (!platform::Utf8ToUtf16(items[i], &text, &offset)) __builtin_trap();
    again += (i > 0 ? "," : "") + JsonQuote(items[i]);
  }
  again += "]";
  std::vector<std::string> reparsed;
  if (!ParseJsonStringArray(again, &reparsed, &error) || reparsed != items) {
    __builtin_trap();
  }
  return 0;
}
