// ExtractHtmlPage for builds made without gumbo: every page is refused with
// a message that says why.
#include "tools/import/html_page.h"

namespace qoinfo::tools {

bool HtmlParserAvailable() { return false; }

bool ExtractHtmlPage(std::string_view, HtmlPage* page, std::string* error) {
  *page = HtmlPage();
  *error =
      "this build has no HTML parser (scripts/third-party could not get "
      "gumbo's sources)";
  return false;
}

}  // namespace qoinfo::tools
