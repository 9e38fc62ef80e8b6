#include "tools/common/agent_connection.h"

#include "agent/page_snippet.h"
#include "com/find_interface.h"
#include "platform/com_ptr.h"
#include "platform/hresult_error.h"
#include "platform/wide_string.h"

namespace qoinfo::tools {
namespace {

HRESULT FindInterface(IZuInfoAgent* agent, platform::ComPtr<IFind>* find) {
  if (agent == nullptr) return E_UNEXPECTED;
  return agent->QueryInterface(IID_IFind, find->out_void());
}

}  // namespace

HRESULT AgentConnection::Find(const std::u16string& query,
                              const FindOptions& options,
                              ISearchDataEnumerator** hits) {
  *hits = nullptr;
  platform::ComPtr<IFind> find;
  HRESULT hr = FindInterface(agent(), &find);
  if (FAILED(hr)) return hr;
  const platform::UniqueBstr what(platform::AllocBstr(query));
  if (!what) return E_OUTOFMEMORY;
  platform::ComPtr<IUnknown> found;
  hr = find->Find(what.get(), FindOptionsToBits(options), found.out());
  if (FAILED(hr)) return hr;
  return found->QueryInterface(IID_ISearchDataEnumerator,
                               reinterpret_cast<void**>(hits));
}

HRESULT AgentConnection::Snippets(
    const std::u16string& query, const FindOptions& options,
    const std::vector<PageKey>& pages,
    std::vector<std::optional<Snippet>>* snippets) {
  snippets->clear();
  platform::ComPtr<IFind> find;
  HRESULT hr = FindInterface(agent(), &find);
  if (FAILED(hr)) return hr;
  try {
    const platform::UniqueBstr what(platform::AllocBstr(query));
    if (!what) return E_OUTOFMEMORY;
    std::vector<std::optional<Snippet>> made;
    for (const PageKey& page : pages) {
      const platform::UniqueBstr url(platform::AllocBstr(page.url));
      if (!url) return E_OUTOFMEMORY;
      BSTR text = nullptr, marks = nullptr;
      ULONG flags = 0;
      hr = find->Snippet(what.get(), FindOptionsToBits(options), page.time,
                         url.get(), &text, &marks, &flags);
      const platform::UniqueBstr own_text(text), own_marks(marks);
      if (FAILED(hr)) return hr;
      if (hr != S_OK) {
        made.emplace_back();
        continue;
      }
      Snippet snippet;
      snippet.text = platform::FromBstr(text);
      if (!UnpackMarks(platform::FromBstr(marks), &snippet.marks))
        return E_UNEXPECTED;
      snippet.cut_before = (flags & kSnippetCutBefore) != 0;
      snippet.cut_after = (flags & kSnippetCutAfter) != 0;
      made.push_back(std::move(snippet));
    }
    *snippets = std::move(made);
    return S_OK;
  } catch (...) {
    return platform::HResultFromCurrentException();
  }
}

}  // namespace qoinfo::tools
