#include "host/linux/bus_records.h"

#include "platform/utf8.h"

namespace qoinfo::bus {

namespace {

// `utf8` cut to at most `max` bytes, never inside a character.
std::string CutUtf8(std::string utf8, std::size_t max) {
  if (utf8.size() <= max) return utf8;
  std::size_t end = max;
  while (end > 0 && (static_cast<unsigned char>(utf8[end]) & 0xC0) == 0x80) {
    --end;
  }
  utf8.resize(end);
  return utf8;
}

// A string of a hit: TextFromBstr cut to kMaxHitStringBytes. Every unit
// gives a byte at least, so the units past the cap need no encoding.
std::string HitText(BSTR text) {
  std::u16string units = platform::FromBstr(text);
  if (units.size() > kMaxHitStringBytes) units.resize(kMaxHitStringBytes + 1);
  platform::ToCarriedText(&units);
  return CutUtf8(platform::Utf16ToUtf8(units), kMaxHitStringBytes);
}

}  // namespace

std::string TextFromBstr(BSTR text) {
  std::u16string units = platform::FromBstr(text);
  platform::ToCarriedText(&units);
  return platform::Utf16ToUtf8(units);
}

std::string NameFromBstr(BSTR text) {
  return platform::Utf16ToUtf8(platform::FromBstr(text));
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
  return HitRecord(hit.Time, HitText(hit.Url), HitText(hit.Path),
                   HitText(hit.Title), hit.Percent);
}

HitRecord RecordFromVisit(const _URL_DATE_IA_S& visit) {
  return HitRecord(visit.Time, TextFromBstr(visit.Url), TextFromBstr(visit.Path),
                   TextFromBstr(visit.Title), visit.Percent);
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
