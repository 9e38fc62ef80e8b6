// Shared pieces of the URL base tests: a history in a fresh directory,
// BSTRs from literals, a visit read back through GetData, subscriptions.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/connection_point.h"
#include "platform/wide_string.h"
#include "tests/support/com_ptr.h"
#include "tests/support/temp_dir.h"
#include "tests/urlbase/recording_sink.h"
#include "urlbase/bromurlbase.h"

namespace qoinfo::testing {

inline platform::UniqueBstr Bstr(std::u16string_view text) {
  return platform::UniqueBstr(platform::AllocBstr(text));
}

// A visit as GetData hands it out, with the strings copied and freed.
struct ReadVisit {
  std::int64_t time = 0;
  std::u16string url, path, title;
  bool operator==(const ReadVisit&) const = default;
};

inline std::u16string Units(BSTR text) { return platform::FromBstr(text); }

// GetData of `index`; the strings must be non-null on success.
inline HRESULT Read(IBromURLBase* base, ULONG index, ReadVisit* visit) {
  _URL_DATE_IA_S data{};
  const HRESULT hr = base->GetData(&data, index);
  if (hr != S_OK) return hr;
  EXPECT_NE(data.Url, nullptr);
  EXPECT_NE(data.Path, nullptr);
  EXPECT_NE(data.Title, nullptr);
  platform::UniqueBstr url(data.Url), path(data.Path), title(data.Title);
  visit->time = data.Time;
  visit->url = url ? Units(url.get()) : u"(null)";
  visit->path = path ? Units(path.get()) : u"(null)";
  visit->title = title ? Units(title.get()) : u"(null)";
  return S_OK;
}

// The number of visits `base` holds (the call itself must succeed).
inline ULONG CountOf(IBromURLBase* base) {
  ULONG count = 0;
  EXPECT_EQ(base->Count(&count), S_OK);
  return count;
}

inline HRESULT Add(IBromURLBase* base, std::int64_t time,
                   std::u16string_view url, std::u16string_view path,
                   std::u16string_view title, ULONG* index) {
  return base->AddVisit(time, Bstr(url).get(), Bstr(path).get(),
                        Bstr(title).get(), index);
}

inline HRESULT Open(const std::u16string& directory,
                    ComPtr<IBromURLBase>* base) {
  return CBromURLBase::CreateInDirectory(directory, IID_IBromURLBase,
                                         base->out_void());
}

// Advises `sink` at the base's events point; returns the cookie.
inline DWORD Subscribe(IBromURLBase* base, IUnknown* sink) {
  ComPtr<IConnectionPointContainer> container;
  EXPECT_EQ(
      base->QueryInterface(IID_IConnectionPointContainer, container.out_void()),
      S_OK);
  ComPtr<IConnectionPoint> point;
  EXPECT_EQ(container->FindConnectionPoint(IID_IBromURLBaseEvents, point.out()),
            S_OK);
  DWORD cookie = 0;
  EXPECT_EQ(point->Advise(sink, &cookie), S_OK);
  return cookie;
}

inline HRESULT Unsubscribe(IBromURLBase* base, DWORD cookie) {
  ComPtr<IConnectionPointContainer> container;
  EXPECT_EQ(
      base->QueryInterface(IID_IConnectionPointContainer, container.out_void()),
      S_OK);
  ComPtr<IConnectionPoint> point;
  EXPECT_EQ(container->FindConnectionPoint(IID_IBromURLBaseEvents, point.out()),
            S_OK);
  return point->Unadvise(cookie);
}

// A history in a fresh directory, opened for each test.
class UrlBaseTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(Open(dir_.u16(), &base_), S_OK); }

  TempDir dir_;
  ComPtr<IBromURLBase> base_;
};

}  // namespace qoinfo::testing
