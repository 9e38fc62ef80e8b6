// Test helpers for result enumerators: a hit as plain values, and draining an
// enumerator into a list of hits.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "com/interfaces.h"
#include "platform/utf8.h"
#include "platform/wide_string.h"

namespace qoinfo::testing {

struct Hit {
  std::int64_t time = 0;
  std::u16string url;
  std::u16string path;
  std::u16string title;
  std::int32_t percent = 0;
  bool operator==(const Hit&) const = default;
};

inline void PrintTo(const Hit& hit, std::ostream* out) {
  *out << "{" << hit.time << " " << platform::Utf16ToUtf8(hit.url) << " "
       << platform::Utf16ToUtf8(hit.path) << " "
       << platform::Utf16ToUtf8(hit.title) << " " << hit.percent << "%}";
}

// All units of a BSTR (embedded NULs included), which is then freed.
inline std::u16string TakeBstr(BSTR text) {
  std::u16string out = platform::FromBstr(text);
  SysFreeString(text);
  return out;
}

// One Next call; on S_OK the hit is stored and the strings freed.
inline HRESULT NextHit(ISearchDataEnumerator* enumerator, Hit* hit) {
  _URL_DATE_IA_S data{};
  const HRESULT hr = enumerator->Next(&data);
  if (hr == S_OK) {
    hit->time = data.Time;
    hit->url = TakeBstr(data.Url);
    hit->path = TakeBstr(data.Path);
    hit->title = TakeBstr(data.Title);
    hit->percent = data.Percent;
  }
  return hr;
}

// Hits until Next returns something other than S_OK, which goes to *last.
inline std::vector<Hit> Drain(ISearchDataEnumerator* enumerator,
                              HRESULT* last = nullptr) {
  std::vector<Hit> hits;
  HRESULT hr;
  for (Hit hit; (hr = NextHit(enumerator, &hit)) == S_OK;) hits.push_back(hit);
  if (last != nullptr) *last = hr;
  return hits;
}

}  // namespace qoinfo::testing
