// CZuInfoAgent's IFind (com/find_interface.h): Find and snippets over the
// agent's own index and the texts the history keeps.
#include "agent/page_snippet.h"
#include "agent/zu_info_agent.h"
#include "platform/hresult_error.h"
#include "platform/wide_string.h"

namespace qoinfo {

HRESULT CZuInfoAgent::Find(BSTR query, ULONG options, IUnknown** result) {
  if (result == nullptr) return E_POINTER;
  *result = nullptr;
  FindOptions find;
  if (!FindOptionsFromBits(options, &find)) return E_INVALIDARG;
  try {
    ISearchDataEnumerator* hits = nullptr;
    const HRESULT hr =
        qoinfo::Find(platform::FromOleString(query), find, PageTexts(), &hits,
                     m_idContainer, m_wordContainer);
    if (SUCCEEDED(hr)) *result = hits;
    return hr;
  } catch (...) {
    return platform::HResultFromCurrentException();
  }
}

HRESULT CZuInfoAgent::Snippet(BSTR query, ULONG options, std::int64_t time,
                              BSTR url, BSTR* text, BSTR* marks, ULONG* flags) {
  if (text == nullptr || marks == nullptr || flags == nullptr) return E_POINTER;
  *text = nullptr;
  *marks = nullptr;
  *flags = 0;
  FindOptions find;
  if (!FindOptionsFromBits(options, &find)) return E_INVALIDARG;
  try {
    const std::optional<qoinfo::Snippet> snippet =
        SnippetOfPage(PageTexts(), time, platform::FromOleString(url),
                      platform::FromOleString(query), find);
    return SnippetToCom(snippet, text, marks, flags);
  } catch (...) {
    return platform::HResultFromCurrentException();
  }
}

}  // namespace qoinfo
