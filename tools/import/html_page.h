// The title and visible text of an HTML page, for adding it as a visited
// page. The bytes are parsed by a real HTML parser (libxml2's), so entities,
// comments, scripts and broken markup are handled much as a browser handles
// them. The encoding is the one a byte-order mark or <meta charset> names;
// otherwise UTF-8 up to the first byte that is not UTF-8, and ISO-8859-1 from
// there on. Stateless and thread-safe.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qoinfo::tools {

struct HtmlPage {
  // The first <title>, white space collapsed and trimmed; empty without one.
  std::u16string title;
  // The text a reader sees in the body: words of different blocks never run
  // together, runs of HTML white space are one space, no leading or trailing
  // space. Scripts, styles, templates and the head are left out.
  std::u16string text;
};

// Larger inputs are refused: the parser's positions are 32-bit and its tree
// takes many times the input's size.
inline constexpr std::size_t kMaxHtmlBytes = 32 * 1024 * 1024;

// Parses `html_bytes` into `page`. Returns false with `error` set when the
// input is larger than kMaxHtmlBytes or the parser fails. `transport_charset`
// is the encoding the page's carrier named (an HTTP answer's charset): it
// comes after a byte-order mark and before <meta charset>, as in a browser;
// a name the parser does not know is ignored.
bool ExtractHtmlPage(std::string_view html_bytes, HtmlPage* page,
                     std::string* error,
                     const std::string& transport_charset = std::string());

}  // namespace qoinfo::tools
