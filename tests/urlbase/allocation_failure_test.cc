// Running out of memory at each allocation of a call: the call answers
// E_OUTOFMEMORY, changes nothing and leaks nothing (the sanitizer build
// checks the last). SQLite's own allocations are not ours to fail here.
#include "tests/support/allocation_failure.h"

#include <gtest/gtest.h>

#include "tests/urlbase/url_base_test_support.h"

namespace qoinfo {
namespace {

using testing::Bstr;
using testing::ComPtr;
using testing::CountOf;
using testing::FailAllocationsAfter;
using testing::RecordingSink;
using testing::UrlBaseTest;

TEST_F(UrlBaseTest, AddVisitStoresNothingWhenMemoryRunsOut) {
  platform::UniqueBstr url = Bstr(u"http://example.com/\u00e9");
  platform::UniqueBstr path = Bstr(u"/a/long/enough/path/to/need/memory");
  platform::UniqueBstr title = Bstr(u"a title long enough to need memory");
  for (std::size_t n = 0;; ++n) {
    ULONG index = 7;
    const auto [hr, triggered] = testing::WithAllocationsFailingAfter(
        n, [&] { return base_->AddVisit(1, url.get(), path.get(), title.get(), &index); });
    if (!triggered) {
      EXPECT_EQ(hr, S_OK);
      EXPECT_EQ(CountOf(base_.get()), 1u);
      break;
    }
    EXPECT_EQ(hr, E_OUTOFMEMORY) << n;
    EXPECT_EQ(index, 0u);
    ASSERT_EQ(CountOf(base_.get()), 0u) << n;
  }
}

TEST_F(UrlBaseTest, GetDataLeavesTheRecordAloneWhenMemoryRunsOut) {
  ULONG index = 0;
  ASSERT_EQ(testing::Add(base_.get(), 1, u"http://example.com/\u00e9",
                         u"/a/long/enough/path/to/need/memory",
                         u"a title long enough to need memory", &index),
            S_OK);
  for (std::size_t n = 0;; ++n) {
    _URL_DATE_IA_S data = {42, nullptr, nullptr, nullptr, 7};
    const auto [hr, triggered] = testing::WithAllocationsFailingAfter(
        n, [&] { return base_->GetData(&data, index); });
    if (!triggered) {
      ASSERT_EQ(hr, S_OK);
      SysFreeString(data.Url);
      SysFreeString(data.Path);
      SysFreeString(data.Title);
      break;
    }
    EXPECT_EQ(hr, E_OUTOFMEMORY) << n;
    EXPECT_EQ(data.Time, 42);
    EXPECT_EQ(data.Url, nullptr);
    EXPECT_EQ(data.Path, nullptr);
    EXPECT_EQ(data.Title, nullptr);
  }
}

TEST_F(UrlBaseTest, RemoveVisitKeepsTheVisitWhenMemoryRunsOut) {
  ULONG index = 0;
  ASSERT_EQ(testing::Add(base_.get(), 1, u"http://example.com/\u00e9",
                         u"/a/long/enough/path/to/need/memory",
                         u"a title long enough to need memory", &index),
            S_OK);
  for (std::size_t n = 0;; ++n) {
    const auto [hr, triggered] = testing::WithAllocationsFailingAfter(
        n, [&] { return base_->RemoveVisit(index); });
    if (!triggered) {
      EXPECT_EQ(hr, S_OK);
      EXPECT_EQ(CountOf(base_.get()), 0u);
      break;
    }
    EXPECT_EQ(hr, E_OUTOFMEMORY) << n;
    ASSERT_EQ(CountOf(base_.get()), 1u) << n;
  }
}

TEST_F(UrlBaseTest, PageTextsAreKeptWholeOrNotAtAllWhenMemoryRunsOut) {
  ULONG index = 0;
  ASSERT_EQ(testing::Add(base_.get(), 1, u"http://example.com/\u00e9", u"",
                         u"", &index),
            S_OK);
  ComPtr<IBromPageTexts> texts;
  ASSERT_EQ(base_->QueryInterface(IID_IBromPageTexts, texts.out_void()), S_OK);
  platform::UniqueBstr url = Bstr(u"http://example.com/\u00e9");
  platform::UniqueBstr text = Bstr(u"a page text long enough to need memory");
  LONG keep = 0;
  ULONG count = 0;
  std::int64_t bytes = 0;
  for (std::size_t n = 0;; ++n) {
    const auto [hr, triggered] = testing::WithAllocationsFailingAfter(
        n, [&] { return texts->StoreText(1, url.get(), text.get()); });
    ASSERT_EQ(texts->GetTextTotals(&keep, &count, &bytes), S_OK);
    if (!triggered) {
      EXPECT_EQ(hr, S_OK);
      EXPECT_EQ(count, 1u);
      break;
    }
    EXPECT_EQ(hr, E_OUTOFMEMORY) << n;
    ASSERT_EQ(count, 0u) << n;
  }
  for (std::size_t n = 0;; ++n) {
    BSTR read = nullptr;
    const auto [hr, triggered] = testing::WithAllocationsFailingAfter(
        n, [&] { return texts->GetText(1, url.get(), &read); });
    platform::UniqueBstr owned(read);
    if (!triggered) {
      EXPECT_EQ(hr, S_OK);
      EXPECT_EQ(platform::FromBstr(read), platform::FromBstr(text.get()));
      break;
    }
    EXPECT_EQ(hr, E_OUTOFMEMORY) << n;
    EXPECT_EQ(read, nullptr);
  }
}

TEST_F(UrlBaseTest, AdviseTakesNoReferenceWhenMemoryRunsOut) {
  ComPtr<IConnectionPointContainer> container;
  ASSERT_EQ(base_->QueryInterface(IID_IConnectionPointContainer,
                                  container.out_void()),
            S_OK);
  ComPtr<IConnectionPoint> point;
  ASSERT_EQ(container->FindConnectionPoint(IID_IBromURLBaseEvents, point.out()),
            S_OK);
  ComPtr<RecordingSink> sink(RecordingSink::Create());
  for (std::size_t n = 0;; ++n) {
    DWORD cookie = 9;
    const auto [hr, triggered] = testing::WithAllocationsFailingAfter(
        n, [&] { return point->Advise(sink.get(), &cookie); });
    if (!triggered) {
      EXPECT_EQ(hr, S_OK);
      EXPECT_EQ(point->Unadvise(cookie), S_OK);
      break;
    }
    EXPECT_EQ(hr, E_OUTOFMEMORY) << n;
    EXPECT_EQ(cookie, 0u);
    EXPECT_EQ(sink->references(), 1u);
  }
}

TEST_F(UrlBaseTest, GetDataDirectoryAnswersWhenMemoryRunsOut) {
  for (std::size_t n = 0;; ++n) {
    BSTR directory = nullptr;
    const auto [hr, triggered] = testing::WithAllocationsFailingAfter(
        n, [&] { return base_->GetDataDirectory(&directory); });
    platform::UniqueBstr owned(directory);
    if (!triggered) {
      EXPECT_EQ(hr, S_OK);
      EXPECT_NE(directory, nullptr);
      break;
    }
    EXPECT_EQ(hr, E_OUTOFMEMORY) << n;
    EXPECT_EQ(directory, nullptr);
  }
}

}  // namespace
}  // namespace qoinfo
