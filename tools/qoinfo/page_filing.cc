#include "tools/qoinfo/page_filing.h"

#include "platform/wide_string.h"
#include "tools/qoinfo/exit_codes.h"

namespace qoinfo::tools {

HRESULT FilePage(Session& session, std::int64_t time, const std::u16string& url,
                 const std::u16string& path, const std::u16string& title,
                 const std::u16string& text, FiledPage* filed,
                 std::string* why) {
  *filed = FiledPage();
  const platform::UniqueBstr url_bstr(platform::AllocBstr(url)),
      path_bstr(platform::AllocBstr(path)),
      title_bstr(platform::AllocBstr(title)),
      text_bstr(platform::AllocBstr(text));
  if (!url_bstr || !path_bstr || !title_bstr || !text_bstr) {
    *why = DescribeHResult(E_OUTOFMEMORY);
    return E_OUTOFMEMORY;
  }
  IBromURLBase* history = session.agent_connection().history();
  HRESULT hr = history->AddVisit(time, url_bstr.get(), path_bstr.get(),
                                 title_bstr.get(), &filed->index);
  if (FAILED(hr)) {
    *why = "the history refused the visit: " + DescribeHResult(hr);
    return hr;
  }
  filed->new_visit = hr == S_OK;
  if (!filed->new_visit) {
    bool indexed = false;
    hr = session.agent_connection().HasPage(time, url, &indexed);
    if (FAILED(hr)) {
      *why = "the index could not be asked: " + DescribeHResult(hr);
      return hr;
    }
    if (indexed) return S_OK;
  }
  _URL_DATE_IA data{time, url_bstr.get(), text_bstr.get(), path_bstr.get(),
                    title_bstr.get()};
  hr = session.agent_connection().agent()->AddData(data);
  if (FAILED(hr)) {
    // The history keeps no new visit whose page the index could not take.
    if (filed->new_visit) history->RemoveVisit(filed->index);
    *why = "the page could not be indexed: " + DescribeHResult(hr);
    return hr;
  }
  filed->indexed = true;
  return S_OK;
}

}  // namespace qoinfo::tools
