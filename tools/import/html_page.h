// The title and visible text of an HTML page, for adding it as a visited
// page. The bytes are parsed as UTF-8 by a real HTML parser (gumbo), so
// entities, comments, scripts and broken markup are handled the way a
// browser handles them; invalid bytes become U+FFFD. Stateless and
// thread-safe.
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

// False in builds made without the parser (Windows builds for which
// scripts/third-party could not get gumbo's sources).
bool HtmlParserAvailable();

// Parses `html_bytes` (a leading UTF-8 byte-order mark is ignored) into
// `page`. Returns false with `error` set when the input is larger than
// kMaxHtmlBytes or no parser is built in.
bool ExtractHtmlPage(std::string_view html_bytes, HtmlPage* page,
                     std::string* error);

}  // namespace qoinfo::tools
