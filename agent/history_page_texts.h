// HistoryPageTexts: the page texts the history keeps, reached through its
// IBromPageTexts interface. The agent hands each page it filed to Store,
// so that the pages of every client get their text; TextOf reads one back
// for snippets and phrases. A history that keeps no text for a page, or
// cannot be asked, answers false: the page then has no snippet.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "agent/page_text_source.h"
#include "platform/com_base.h"
#include "platform/com_ptr.h"
#include "urlbase/page_texts.h"

namespace qoinfo {

class HistoryPageTexts final : public PageTextSource {
 public:
  explicit HistoryPageTexts(platform::ComPtr<IBromPageTexts> history)
      : m_history(std::move(history)) {}

  bool TextOf(std::int64_t time, std::u16string_view url,
              std::u16string* text) override;
  // Hands the text of a page just filed to the history, which keeps it
  // with the page's visit (if it keeps texts and has that visit). What the
  // history answers does not concern the filing: it is not returned.
  void Store(std::int64_t time, BSTR url, BSTR text);

 private:
  platform::ComPtr<IBromPageTexts> m_history;
};

}  // namespace qoinfo
