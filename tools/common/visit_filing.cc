#include "tools/common/visit_filing.h"

#include "platform/wide_string.h"
#include "tools/common/exit_codes.h"

namespace qoinfo::tools {
namespace {

bool IsAsciiLetter(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

bool IsSchemeUnit(char16_t c) {
  return IsAsciiLetter(c) || (c >= u'0' && c <= u'9') || c == u'+' ||
         c == u'-' || c == u'.';
}

}  // namespace

std::u16string UrlWithoutUserInfo(std::u16string_view url) {
  // scheme = letter (letter | digit | "+" | "-" | ".")*
  std::size_t scheme_end = 0;
  if (url.empty() || !IsAsciiLetter(url[0])) return std::u16string(url);
  while (scheme_end < url.size() && IsSchemeUnit(url[scheme_end])) {
    ++scheme_end;
  }
  if (url.substr(scheme_end, 3) != u"://") return std::u16string(url);
  const std::size_t authority = scheme_end + 3;
  const std::u16string_view rest = url.substr(authority);
  const std::u16string_view host = rest.substr(0, rest.find_first_of(u"/?#"));
  const std::size_t at_sign = host.rfind(u'@');
  if (at_sign == std::u16string_view::npos) return std::u16string(url);
  std::u16string filed(url.substr(0, authority));
  filed.append(rest.substr(at_sign + 1));
  return filed;
}

HRESULT FilePage(AgentConnection& connection, std::int64_t time,
                 const std::u16string& given_url, const std::u16string& path,
                 const std::u16string& title, const std::u16string& text,
                 FiledPage* filed, std::string* why) {
  *filed = FiledPage();
  const std::u16string url = UrlWithoutUserInfo(given_url);
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

HRESULT RefilePage(AgentConnection& connection, ULONG index,
                   const std::u16string& title, const std::u16string& text,
                   FiledPage* filed, std::string* why) {
  *filed = FiledPage();
  IBromURLBase* history = connection.history();
  _URL_DATE_IA_S visit{};
  HRESULT hr = history->GetData(&visit, index);
  if (FAILED(hr)) {
    *why = "the visit could not be read: " + DescribeHResult(hr);
    return hr;
  }
  const platform::UniqueBstr url_bstr(visit.Url), path_bstr(visit.Path),
      title_bstr(visit.Title);
  const std::u16string url = platform::FromBstr(url_bstr.get());
  const std::u16string path = platform::FromBstr(path_bstr.get());
  // AddData keeps the words a page was first filed with: the old page goes
  // first, through the history's removal event, as when a person forgets it.
  hr = history->RemoveVisit(index);
  if (FAILED(hr)) {
    *why = "the visit could not be removed: " + DescribeHResult(hr);
    return hr;
  }
  return FilePage(connection, visit.Time, url, path, title, text, filed, why);
}

HRESULT ForgetVisit(AgentConnection& connection, std::int64_t time,
                    const std::u16string& url, ULONG* index, std::string* why) {
  *index = 0;
  const platform::UniqueBstr url_bstr(
      platform::AllocBstr(UrlWithoutUserInfo(url)));
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
