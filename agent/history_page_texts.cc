#include "agent/history_page_texts.h"

#include "platform/wide_string.h"

namespace qoinfo {

bool HistoryPageTexts::TextOf(std::int64_t time, std::u16string_view url,
                              std::u16string* text) {
  const platform::UniqueBstr address(platform::AllocBstr(url));
  if (!address) return false;
  BSTR kept = nullptr;
  const HRESULT hr = m_history->GetText(time, address.get(), &kept);
  const platform::UniqueBstr owned(kept);
  if (hr != S_OK || kept == nullptr) return false;
  *text = platform::FromBstr(kept);
  return true;
}

void HistoryPageTexts::Store(std::int64_t time, BSTR url, BSTR text) {
  m_history->StoreText(time, url, text);
}

}  // namespace qoinfo
