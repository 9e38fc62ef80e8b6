#include "agent/add_data.h"

#include "agent/word_extraction.h"
#include "index/url_date.h"
#include "platform/hresult_error.h"
#include "platform/text_case.h"
#include "platform/wide_string.h"

namespace qoinfo {

HRESULT AddData(const _URL_DATE_IA& data, CIDContainer& records,
                CWordToIdsContainer& words) noexcept {
  try {
    CUrlDate copy(data);
    const UINT text_length = SysStringLen(copy.m_text);
    if (text_length > 0) platform::LowerCaseInPlace(copy.m_text, text_length);
    const std::u16string text = platform::FromOleString(copy.m_text);
    if (text.empty()) return S_OK;

    WordCountMap counts;
    CountWordsOfLoweredText(text, &counts);
    const CTimeURLContainer record(copy.m_time,
                                   platform::FromOleString(copy.m_url),
                                   platform::FromOleString(copy.m_path),
                                   platform::FromOleString(copy.m_title));

    const std::int64_t id = records.AddRecord(record);
    if (id == 0) return E_FAIL;
    words.AddWords(counts, id);
    return S_OK;
  } catch (...) {
    return platform::HResultFromCurrentException();
  }
}

}  // namespace qoinfo
