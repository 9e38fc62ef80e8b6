#include "tools/common/terminal_text.h"

#include <cstdio>

#include "platform/utf8.h"

namespace qoinfo::tools {
namespace {

bool IsBidiControl(char32_t c) {
  return (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) ||
         c == 0x200E || c == 0x200F || c == 0x061C;
}

}  // namespace

std::string TerminalSafe(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    const unsigned char lead = static_cast<unsigned char>(utf8[i]);
    const std::size_t length = lead < 0x80   ? 1
                               : lead < 0xE0 ? 2
                               : lead < 0xF0 ? 3
                                             : 4;
    char32_t c = length == 1   ? lead
                 : length == 2 ? lead & 0x1F
                 : length == 3 ? lead & 0x0F
                               : lead & 0x07;
    for (std::size_t k = 1; k < length && i + k < utf8.size(); ++k) {
      c = (c << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    }
    char escape[16];
    if (c == '\t') {
      out += "\\t";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c < 0x20 || c == 0x7F) {
      std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned>(c));
      out += escape;
    } else if ((c >= 0x80 && c <= 0x9F) || IsBidiControl(c)) {
      std::snprintf(escape, sizeof escape, "\\u{%04X}",
                    static_cast<unsigned>(c));
      out += escape;
    } else {
      out.append(utf8.substr(i, length));
    }
    i += length;
  }
  return out;
}

std::string TerminalSnippet(const Snippet& snippet, bool bold) {
  std::string line = snippet.cut_before ? "\u2026" : "";
  std::size_t done = 0;
  auto add = [&](std::size_t end) {
    line += TerminalSafe(platform::Utf16ToUtf8(
        std::u16string_view(snippet.text).substr(done, end - done)));
    done = end;
  };
  for (const MarkedRange& mark : snippet.marks) {
    const std::size_t end = std::size_t{mark.begin} + mark.length;
    if (mark.begin < done || end > snippet.text.size()) continue;
    add(mark.begin);
    if (bold) line += "\x1b[1m";
    add(end);
    if (bold) line += "\x1b[22m";
  }
  add(snippet.text.size());
  if (snippet.cut_after) line += "\u2026";
  return line;
}

}  // namespace qoinfo::tools
