#include "agent/add_data.h"

#include <utility>

#include "agent/word_extraction.h"
#include "platform/hresult_error.h"
#include "platform/wide_string.h"

namespace qoinfo {

HRESULT PreparePage(const _URL_DATE_IA& data, PageChange* change) noexcept {
  try {
    WordCountMap words = ExtractWords(data.Text);
    if (words.empty()) return S_FALSE;  // an empty text

    change->kind = PageChange::Kind::kPageAdded;
    change->words = std::move(words);
    change->record = CTimeURLContainer(data.Time, platform::FromOleString(data.Url),
                                       platform::FromOleString(data.Path),
                                       platform::FromOleString(data.Title));
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
