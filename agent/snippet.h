// Snippets: the passage of a page's stored text that best shows why it
// matched a query, with the query's words marked. One function for every
// client, so that the command line, the toolbar page and the address bar
// mark the same words. Words are read as the agent reads them (lowered,
// split at white space, separators trimmed), so what is marked is what
// matched.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "agent/find.h"

namespace qoinfo {

// A marked word: `length` UTF-16 units from `begin`, within Snippet::text.
struct MarkedRange {
  std::uint32_t begin = 0;
  std::uint32_t length = 0;
  friend bool operator==(const MarkedRange&, const MarkedRange&) = default;
};

struct Snippet {
  // The passage, as the page's text holds it (runs of white space made one
  // space); empty when the text has no words.
  std::u16string text;
  // The query's words in `text`, in ascending order, never overlapping.
  std::vector<MarkedRange> marks;
  // Whether the page's text goes on before / after the passage.
  bool cut_before = false;
  bool cut_after = false;
};

// About this many words make a passage.
inline constexpr std::size_t kSnippetWords = 30;

// The window of kSnippetWords words of `text` that holds the most distinct
// words of `query` (ties: the earliest), with those words marked. With
// options.prefix the query's last word also marks the words it begins.
Snippet MakeSnippet(std::u16string_view text, std::u16string_view query,
                    const FindOptions& options);

}  // namespace qoinfo
