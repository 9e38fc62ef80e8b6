// libFuzzer target for the HTML importer: any bytes give a page (title and
// text) or a refusal with a reason, never a crash; what it gives is UTF-16
// that converts to UTF-8.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/utf8.h"
#include "tools/import/html_page.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  using namespace qoinfo::tools;
  HtmlPage page;
  std::string why;
  if (!ExtractHtmlPage(
          std::string_view(reinterpret_cast<const char*>(data), size), &page,
          &why)) {
    if (why.empty()) __builtin_trap();
    return 0;
  }
  platform::Utf16ToUtf8(page.title);
  platform::Utf16ToUtf8(page.text);
  return 0;
}
