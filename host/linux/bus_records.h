// The two interface records on D-Bus, and text between BSTRs and D-Bus
// strings. _URL_DATE_IA travels as (xssss): time, url, text, path, title;
// _URL_DATE_IA_S as (xsssi): time, url, path, title, percent. Text goes out
// as platform::ToCarriedText makes it (up to its first NUL, noncharacters
// as U+FFFD), an unpaired surrogate as U+FFFD; a null BSTR is the empty
// string.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <sdbus-c++/Types.h>

#include "agent/snippet.h"
#include "com/interfaces.h"
#include "platform/wide_string.h"
#include "urlbase/url_base.h"

namespace qoinfo::bus {

using PageRecord =
    sdbus::Struct<std::int64_t, std::string, std::string, std::string,
                  std::string>;
using HitRecord =
    sdbus::Struct<std::int64_t, std::string, std::string, std::string,
                  std::int32_t>;

// A page as Snippets names it: (xs) time, URL.
using PageKeyRecord = sdbus::Struct<std::int64_t, std::string>;
// One page's snippet, (bsa(uu)bb): whether the page's text is kept, the
// passage, its marked words (begin, length in UTF-16 units of the passage),
// and whether the text goes on before and after it.
using SnippetRecord =
    sdbus::Struct<bool, std::string,
                  std::vector<sdbus::Struct<std::uint32_t, std::uint32_t>>,
                  bool, bool>;
// The most pages one Snippets call takes (a page of hits is far fewer).
inline constexpr std::size_t kMaxSnippetPages = 256;

// A BSTR as a D-Bus string, as every way in carries text.
std::string TextFromBstr(BSTR text);
// A BSTR as a D-Bus string unchanged (a folder's name): the bus refuses the
// few such names it cannot carry rather than naming another folder.
std::string NameFromBstr(BSTR text);
// A new BSTR for a D-Bus string: E_INVALIDARG for text that is not UTF-8,
// E_OUTOFMEMORY.
HRESULT BstrFromText(const std::string& text, platform::UniqueBstr* out);

// A page record received, with the strings it owns.
struct ReceivedPage {
  std::int64_t time = 0;
  platform::UniqueBstr url, text, path, title;
  _URL_DATE_IA View() const {
    return _URL_DATE_IA{time, url.get(), text.get(), path.get(), title.get()};
  }
};
HRESULT PageFromRecord(const PageRecord& record, ReceivedPage* page);
PageRecord RecordFromPage(const _URL_DATE_IA& page);

// What one hit may carry in a reply: each string at most this many bytes,
// cut at a character boundary beyond. A batch of hits is one D-Bus array,
// which the bus refuses (dropping the sender) past 64 MiB; a batch stops
// growing past 8 MiB, so that its last hit, at most three such strings,
// still fits.
inline constexpr std::size_t kMaxHitStringBytes = 16u << 20;

// A hit of a search, its strings cut to kMaxHitStringBytes.
HitRecord RecordFromHit(const _URL_DATE_IA_S& hit);
// A visit of the history (GetData) in the same form, whole: a visit is
// found again by its URL.
HitRecord RecordFromVisit(const _URL_DATE_IA_S& visit);
// The visit at `index` of `history` in that form: GetData's result.
HRESULT VisitRecordAt(IBromURLBase* history, ULONG index, HitRecord* record);
// Fills `hit` with new BSTRs that the caller frees; on failure `hit` is
// untouched.
HRESULT HitFromRecord(const HitRecord& record, _URL_DATE_IA_S* hit);

// A snippet (none: no text kept) as Snippets answers it. Its text goes as
// every text goes (TextFromBstr), piece by piece between the marks, so that
// the marks still name the same words.
SnippetRecord RecordFromSnippet(const std::optional<Snippet>& snippet);
// The snippet of a record: none when the page's text is not kept;
// E_INVALIDARG for a passage that is not UTF-8 or marks outside it.
HRESULT SnippetFromRecord(const SnippetRecord& record,
                          std::optional<Snippet>* snippet);

}  // namespace qoinfo::bus
