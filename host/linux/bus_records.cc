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

HRESULT VisitRecordAt(IBromURLBase* history, ULONG index, HitRecord* record) {
  _URL_DATE_IA_S visit{};
  const HRESULT hr = history->GetData(&visit, index);
  if (FAILED(hr)) return hr;
  const platform::UniqueBstr url(visit.Url), path(visit.Path),
      title(visit.Title);
  *record = RecordFromVisit(visit);
  return hr;
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

SnippetRecord RecordFromSnippet(const std::optional<Snippet>& snippet) {
  SnippetRecord record(false, std::string(), {}, false, false);
  if (!snippet) return record;
  std::u16string text;
  auto& marks = record.get<2>();
  std::size_t done = 0;
  auto carry = [&](std::size_t end) {
    std::u16string piece = snippet->text.substr(done, end - done);
    platform::ToCarriedText(&piece);
    text += piece;
    done = end;
  };
  for (const MarkedRange& mark : snippet->marks) {
    if (mark.begin < done || mark.begin + mark.length > snippet->text.size())
      continue;
    carry(mark.begin);
    const std::size_t begin = text.size();
    carry(mark.begin + mark.length);
    marks.emplace_back(static_cast<std::uint32_t>(begin),
                       static_cast<std::uint32_t>(text.size() - begin));
  }
  carry(snippet->text.size());
  record.get<0>() = true;
  record.get<1>() = platform::Utf16ToUtf8(text);
  record.get<3>() = snippet->cut_before;
  record.get<4>() = snippet->cut_after;
  return record;
}

HRESULT SnippetFromRecord(const SnippetRecord& record,
                          std::optional<Snippet>* snippet) {
  snippet->reset();
  if (!record.get<0>()) return S_OK;
  Snippet made;
  std::size_t offset = 0;
  if (!platform::Utf8ToUtf16(record.get<1>(), &made.text, &offset))
    return E_INVALIDARG;
  for (const auto& mark : record.get<2>()) {
    const std::uint64_t end =
        std::uint64_t{mark.get<0>()} + std::uint64_t{mark.get<1>()};
    if (end > made.text.size()) return E_INVALIDARG;
    made.marks.push_back({mark.get<0>(), mark.get<1>()});
  }
  made.cut_before = record.get<3>();
  made.cut_after = record.get<4>();
  *snippet = std::move(made);
  return S_OK;
}

}  // namespace qoinfo::bus
