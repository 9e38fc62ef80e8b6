#include "host/linux/bus_records.h"

#include "platform/utf8.h"

namespace qoinfo::bus {

std::string TextFromBstr(BSTR text) {
  std::u16string units = platform::FromBstr(text);
  for (char16_t& unit : units) {
    if (unit == u'\0') unit = u'\uFFFD';
  }
  return platform::Utf16ToUtf8(units);
}

HRESULT BstrFromText(const std::string& text, platform::UniqueBstr* out) {
  std::u16string units;
  std::size_t offset = 0;
  if (!platform::Utf8ToUtf16(text, &units, &offset)) return E_INVALIDARG;
  out->reset(platform::AllocBstr(units));
  return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT PageFromRecord(const PageRecord& record, ReceivedPage* page) {
  page->time = record.get<0>();
  HRESULT hr = BstrFromText(record.get<1>(), &page->url);
  if (SUCCEEDED(hr)) hr = BstrFromText(record.get<2>(), &page->text);
  if (SUCCEEDED(hr)) hr = BstrFromText(record.get<3>(), &page->path);
  if (SUCCEEDED(hr)) hr = BstrFromText(record.get<4>(), &page->title);
  return hr;
}

PageRecord RecordFromPage(const _URL_DATE_IA& page) {
  return PageRecord(page.Time, TextFromBstr(page.Url), TextFromBstr(page.Text),
                    TextFromBstr(page.Path), TextFromBstr(page.Title));
}

HitRecord RecordFromHit(const _URL_DATE_IA_S& hit) {
  return HitRecord(hit.Time, TextFromBstr(hit.Url), TextFromBstr(hit.Path),
                   TextFromBstr(hit.Title), hit.Percent);
}

HRESULT HitFromRecord(const HitRecord& record, _URL_DATE_IA_S* hit) {
  platform::UniqueBstr url, path, title;
  HRESULT hr = BstrFromText(record.get<1>(), &url);
  if (SUCCEEDED(hr)) hr = BstrFromText(record.get<2>(), &path);
  if (SUCCEEDED(hr)) hr = BstrFromText(record.get<3>(), &title);
  if (FAILED(hr)) return hr;
  hit->Time = record.get<0>();
  hit->Url = url.release();
  hit->Path = path.release();
  hit->Title = title.release();
  hit->Percent = record.get<4>();
  return S_OK;
}

}  // namespace qoinfo::bus
