#include "agent/add_data.h"

#include "agent/word_extraction.h"
#include "index/url_date.h"
#include "platform/hresult_error.h"
#include "platform/text_case.h"
#include "platform/wide_string.h"

namespace qoinfo {

HRESULT PreparePage(const _URL_DATE_IA& data, PageChange* change) noexcept {
  try {
    CUrlDate copy(data);
    const UINT text_length = SysStringLen(copy.m_text);
    if (text_length > 0) platform::LowerCaseInPlace(copy.m_text, text_length);
    const std::u16string text = platform::FromOleString(copy.m_text);
    if (text.empty()) return S_FALSE;

    change->kind = PageChange::Kind::kPageAdded;
    change->words.clear();
    CountWordsOfLoweredText(text, &change->words);
    change->record =
        CTimeURLContainer(copy.m_time, platform::FromOleString(copy.m_url),
                          platform::FromOleString(copy.m_path),
                          platform::FromOleString(copy.m_title));
    return S_OK;
  } catch (...) {
    return platform::HResultFromCurrentException();
  }
}

HRESULT AddData(const _URL_DATE_IA& data, CIDContainer& records,
                CWordToIdsContainer& words) noexcept {
  PageChange change;
  const HRESULT hr = PreparePage(data, &change);
  if (hr != S_OK) return SUCCEEDED(hr) ? S_OK : hr;
  try {
    return ApplyPageChange(change, records, words);
  } catch (...) {
    return platform::HResultFromCurrentException();
  }
}

}  // namespace qoinfo
