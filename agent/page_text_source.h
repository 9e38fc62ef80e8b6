// PageTextSource: where the agent reads the text a page was filed with, for
// snippets and for checking phrases. The history keeps the texts (when the
// person lets it); the agent only reads them. A page is named as the index
// names it, by its time and URL.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qoinfo {

class PageTextSource {
 public:
  virtual ~PageTextSource() = default;
  // The text filed for the page with this time and URL: true and *text set,
  // or false when no text is kept for it (then *text is untouched).
  virtual bool TextOf(std::int64_t time, std::u16string_view url,
                      std::u16string* text) = 0;
};

// A source that keeps no text: no page has a snippet, no phrase matches.
class NoPageTexts final : public PageTextSource {
 public:
  bool TextOf(std::int64_t, std::u16string_view, std::u16string*) override {
    return false;
  }
};

}  // namespace qoinfo
