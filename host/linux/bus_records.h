// The two interface records on D-Bus, and text between BSTRs and D-Bus
// strings. _URL_DATE_IA travels as (xssss): time, url, text, path, title;
// _URL_DATE_IA_S as (xsssi): time, url, path, title, percent. D-Bus strings
// are UTF-8 without NUL: a NUL unit or an unpaired surrogate going out
// becomes U+FFFD; a null BSTR is the empty string.
#pragma once

#include <cstdint>
#include <string>

#include <sdbus-c++/Types.h>

#include "com/interfaces.h"
#include "platform/wide_string.h"

namespace qoinfo::bus {

using PageRecord =
    sdbus::Struct<std::int64_t, std::string, std::string, std::string,
                  std::string>;
using HitRecord =
    sdbus::Struct<std::int64_t, std::string, std::string, std::string,
                  std::int32_t>;

// All units of a BSTR as a D-Bus string.
std::string TextFromBstr(BSTR text);
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

HitRecord RecordFromHit(const _URL_DATE_IA_S& hit);
// Fills `hit` with new BSTRs that the caller frees; on failure `hit` is
// untouched.
HRESULT HitFromRecord(const HitRecord& record, _URL_DATE_IA_S* hit);

}  // namespace qoinfo::bus
