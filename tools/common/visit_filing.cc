#include "tools/common/visit_filing.h"

#include "platform/wide_string.h"
#include "tools/common/exit_codes.h"

namespace qoinfo::tools {

HRESULT FilePage(AgentConnection& connection, std::int64_t time,
                 const std::u16string& url, const std::u16string& path,
                 const std::u16string& title, const std::u16string& text,
                 FiledPage* filed, std::string* why) {
  *filed = FiledPage();
  const platform::UniqueBstr url_bstr(platform::AllocBstr(url)),
      path_bstr(platform::AllocBstr(path)),
      title_bstr(platform::AllocBstr(title)),
      text_bstr(platform::AllocBstr(text));
  if (!url_bstr || !path_bstr || !title_bstr || !text_bstr) {
    *why = DescribeHResult(E_OUTOFMEMORY);
    return E_OUTOFMEMORY;
  }
  IBromURLBase* history = connection.history();
  HRESULT hr = history->AddVisit(time, url_bstr.get(), path_bstr.get(),
                                 title_bstr.get(), &filed->index);
  if (FAILED(hr)) {
    *why = "the history refused the visit: " + DescribeHResult(hr);
    return hr;
  }
  filed->new_visit = hr == S_OK;
  if (!filed->new_visit) {
    bool indexed = false;
    hr = connection.HasPage(time, url, &indexed);
    if (FAILED(hr)) {
      *why = "the index could not be asked: " + DescribeHResult(hr);
      return hr;
    }
    if (indexed) return S_OK;
  }
  _URL_DATE_IA data{time, url_bstr.get(), text_bstr.get(), path_bstr.get(),
                    title_bstr.get()};
  hr = connection.agent()->AddData(data);
  if (FAILED(hr)) {
    // The history keeps no new visit whose page the index could not take.
    if (filed->new_visit) history->RemoveVisit(filed->index);
    *why = "the page could not be indexed: " + DescribeHResult(hr);
    return hr;
  }
  filed->indexed = true;
  return S_OK;
}

HRESULT ForgetVisit(AgentConnection& connection, std::int64_t time,
                    const std::u16string& url, ULONG* index, std::string* why) {
  *index = 0;
  const platform::UniqueBstr url_bstr(platform::AllocBstr(url));
  if (!url_bstr) {
    *why = DescribeHResult(E_OUTOFMEMORY);
    return E_OUTOFMEMORY;
  }
  IBromURLBase* history = connection.history();
  HRESULT hr = history->FindVisit(time, url_bstr.get(), index);
  if (FAILED(hr)) {
    *why = "the history could not be searched: " + DescribeHResult(hr);
    return hr;
  }
  if (hr != S_OK) {
    *why =
        "no such visit in the history: " + DescribeHResult(URLBASE_E_NOVISIT);
    return URLBASE_E_NOVISIT;
  }
  hr = history->RemoveVisit(*index);
  if (FAILED(hr)) {
    *why = "the visit could not be removed: " + DescribeHResult(hr);
  }
  return hr;
}

}  // namespace qoinfo::tools
