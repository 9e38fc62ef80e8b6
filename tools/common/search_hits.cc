#include "tools/common/search_hits.h"

#include "platform/com_ptr.h"
#include "platform/utf8.h"
#include "platform/wide_string.h"
#include "tools/common/json_writer.h"

namespace qoinfo::tools {
namespace {

// Takes the strings of one hit that Next handed out.
SearchHit TakeHit(const _URL_DATE_IA_S& data) {
  const platform::UniqueBstr url(data.Url), path(data.Path), title(data.Title);
  auto text = [](const platform::UniqueBstr& bstr) {
    return platform::Utf16ToUtf8(platform::FromOleString(bstr.get()));
  };
  return SearchHit{static_cast<std::int64_t>(data.Time), text(url), text(path),
                   text(title), static_cast<std::int32_t>(data.Percent)};
}

}  // namespace

SearchOutcome SearchPages(IZuInfoAgent* agent, const std::u16string& query,
                          long long limit) {
  SearchOutcome outcome;
  const platform::UniqueBstr what(platform::AllocBstr(query));
  if (!what) {
    outcome.search = E_OUTOFMEMORY;
    return outcome;
  }
  platform::ComPtr<ISearchDataEnumerator> hits;
  outcome.search = agent->Search(what.get(), hits.out());
  if (FAILED(outcome.search)) return outcome;
  for (long long count = 0; limit < 0 || count < limit; ++count) {
    _URL_DATE_IA_S data{};
    const HRESULT hr = hits->Next(&data);
    if (FAILED(hr)) outcome.reading = hr;
    if (hr != S_OK) break;
    outcome.hits.push_back(TakeHit(data));
  }
  return outcome;
}

std::string SearchHitJson(const SearchHit& hit) {
  return "{\"time\":" + std::to_string(hit.time) +
         ",\"url\":" + JsonQuote(hit.url) + ",\"path\":" + JsonQuote(hit.path) +
         ",\"title\":" + JsonQuote(hit.title) +
         ",\"percent\":" + std::to_string(hit.percent) + "}";
}

}  // namespace qoinfo::tools
