#include "agent/snippet.h"

namespace qoinfo {

Snippet MakeSnippet(std::u16string_view text, std::u16string_view /*query*/,
                    const FindOptions& /*options*/) {
  // For now the text's first words, nothing marked; the best window comes
  // next.
  Snippet snippet;
  std::size_t words = 0;
  bool in_word = false;
  std::size_t i = 0;
  for (; i < text.size(); ++i) {
    const bool space = text[i] == u' ' || text[i] == u'\t' ||
                       text[i] == u'\n' || text[i] == u'\r';
    if (space) {
      if (in_word && ++words == kSnippetWords) break;
      in_word = false;
      continue;
    }
    if (!in_word && !snippet.text.empty()) snippet.text += u' ';
    in_word = true;
    snippet.text += text[i];
  }
  snippet.cut_after = i < text.size();
  return snippet;
}

}  // namespace qoinfo
