#include "tools/common/search_hits.h"

#include "platform/com_ptr.h"
#include "platform/utf8.h"
#include "platform/wide_string.h"
#include "tools/common/agent_connection.h"
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
                   text(title), static_cast<std::int32_t>(data.Percent),
                   std::nullopt};
}

// Reads up to `limit` hits of `hits` into `outcome`.
void ReadHits(ISearchDataEnumerator* hits, long long limit,
              SearchOutcome* outcome) {
  for (long long count = 0; limit < 0 || count < limit; ++count) {
    _URL_DATE_IA_S data{};
    const HRESULT hr = hits->Next(&data);
    if (FAILED(hr)) outcome->reading = hr;
    if (hr != S_OK) break;
    outcome->hits.push_back(TakeHit(data));
  }
}

const char* Bool(bool value) { return value ? "true" : "false"; }

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
  ReadHits(hits.get(), limit, &outcome);
  return outcome;
}

SearchOutcome FindPages(AgentConnection& connection,
                        const std::u16string& query, const FindOptions& options,
                        long long limit, std::size_t passages) {
  SearchOutcome outcome;
  platform::ComPtr<ISearchDataEnumerator> hits;
  outcome.search = connection.Find(query, options, hits.out());
  if (outcome.search == E_NOINTERFACE && !options.prefix) {
    // A server from before Find: its Search, without passages.
    return SearchPages(connection.agent(), query, limit);
  }
  if (FAILED(outcome.search)) return outcome;
  ReadHits(hits.get(), limit, &outcome);
  if (outcome.hits.empty() || passages == 0) return outcome;
  std::vector<PageKey> pages;
  for (const SearchHit& hit : outcome.hits) {
    if (pages.size() == passages) break;
    std::u16string url;
    std::size_t offset = 0;
    platform::Utf8ToUtf16(hit.url, &url, &offset);
    pages.push_back(PageKey{hit.time, std::move(url)});
  }
  std::vector<std::optional<Snippet>> snippets;
  const HRESULT hr = connection.Snippets(query, options, pages, &snippets);
  if (FAILED(hr)) {
    if (SUCCEEDED(outcome.reading)) outcome.reading = hr;
    return outcome;
  }
  for (std::size_t i = 0; i < snippets.size(); ++i)
    outcome.hits[i].snippet = std::move(snippets[i]);
  return outcome;
}

namespace {

std::string SnippetJson(const Snippet& snippet) {
  std::string marks = "[";
  for (const MarkedRange& mark : snippet.marks) {
    if (marks.size() > 1) marks += ',';
    marks += '[' + std::to_string(mark.begin) + ',' +
             std::to_string(mark.length) + ']';
  }
  return "{\"text\":" + JsonQuote(platform::Utf16ToUtf8(snippet.text)) +
         ",\"marks\":" + marks + "],\"cut_before\":" +
         Bool(snippet.cut_before) + ",\"cut_after\":" +
         Bool(snippet.cut_after) + "}";
}

}  // namespace

std::string SearchHitJson(const SearchHit& hit) {
  return "{\"time\":" + std::to_string(hit.time) +
         ",\"url\":" + JsonQuote(hit.url) + ",\"path\":" + JsonQuote(hit.path) +
         ",\"title\":" + JsonQuote(hit.title) +
         ",\"percent\":" + std::to_string(hit.percent) +
         (hit.snippet ? ",\"snippet\":" + SnippetJson(*hit.snippet) : "") +
         "}";
}

}  // namespace qoinfo::tools
