// The events the history fires: OnDataAdded after a visit is stored, and
// OnDataBeforeRemove at every sink, each answered, while the departing
// visit can still be read, before it goes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/urlbase/url_base_test_support.h"

namespace qoinfo {
namespace {

using testing::Add;
using testing::ComPtr;
using testing::Read;
using testing::ReadVisit;
using testing::RecordingSink;
using testing::Subscribe;
using testing::Unsubscribe;
using testing::UrlBaseTest;

using Events = std::vector<std::string>;

class RemovalEventsTest : public UrlBaseTest {
 protected:
  void SetUp() override {
    UrlBaseTest::SetUp();
    ASSERT_EQ(Add(base_.get(), 100, u"http://a/", u"/pa", u"A", &a_), S_OK);
    ASSERT_EQ(Add(base_.get(), 200, u"http://b/", u"/pb", u"B", &b_), S_OK);
  }

  ULONG a_ = 0, b_ = 0;
};

TEST_F(RemovalEventsTest, AddingFiresOnDataAddedWithTheNewIndex) {
  ComPtr<RecordingSink> sink(RecordingSink::Create());
  Subscribe(base_.get(), sink.get());
  ULONG index = 0;
  ASSERT_EQ(Add(base_.get(), 300, u"http://c/", u"", u"", &index), S_OK);
  // The same visit again stores nothing and announces nothing.
  ASSERT_EQ(Add(base_.get(), 300, u"http://c/", u"", u"", &index), S_FALSE);
  EXPECT_EQ(sink->events, (Events{"added:3"}));
}

TEST_F(RemovalEventsTest, EverySinkReadsTheVisitBeforeItGoes) {
  std::vector<ComPtr<RecordingSink>> sinks;
  std::vector<ReadVisit> seen(3);
  Events order;
  for (int i = 0; i < 3; ++i) {
    sinks.emplace_back(RecordingSink::Create());
    sinks.back()->on_before_remove = [&, i](ULONG index) {
      order.push_back("sink" + std::to_string(i));
      // Still stored, and still counted.
      EXPECT_EQ(testing::CountOf(base_.get()), 2u);
      return Read(base_.get(), index, &seen[i]);
    };
    Subscribe(base_.get(), sinks.back().get());
  }
  ASSERT_EQ(base_->RemoveVisit(b_), S_OK);
  EXPECT_EQ(order, (Events{"sink0", "sink1", "sink2"}));
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(sinks[i]->events, (Events{"removing:2"}));
    EXPECT_EQ(seen[i], (ReadVisit{200, u"http://b/", u"/pb", u"B"}));
  }
  // Afterwards the visit is gone, and only that one.
  ReadVisit after;
  EXPECT_EQ(Read(base_.get(), b_, &after), URLBASE_E_NOVISIT);
  EXPECT_EQ(Read(base_.get(), a_, &after), S_OK);
  ULONG found = 9;
  EXPECT_EQ(base_->FindVisit(200, testing::Bstr(u"http://b/").get(), &found),
            S_FALSE);
  EXPECT_EQ(found, 0u);
}

struct AnswerRow {
  const char* name;
  HRESULT answer;
};

const AnswerRow kAnswers[] = {
    {"S_OK", S_OK},           {"S_FALSE", S_FALSE},
    {"E_FAIL", E_FAIL},       {"E_OUTOFMEMORY", E_OUTOFMEMORY},
    {"E_NOTIMPL", E_NOTIMPL}, {"E_UNEXPECTED", E_UNEXPECTED},
};

class SinkAnswers : public RemovalEventsTest,
                    public ::testing::WithParamInterface<AnswerRow> {};

TEST_P(SinkAnswers, DoNotStopTheRemovalNorTheOtherSinks) {
  ComPtr<RecordingSink> first(RecordingSink::Create());
  ComPtr<RecordingSink> second(RecordingSink::Create());
  const HRESULT answer = GetParam().answer;
  first->on_before_remove = [answer](ULONG) { return answer; };
  Subscribe(base_.get(), first.get());
  Subscribe(base_.get(), second.get());
  ASSERT_EQ(base_->RemoveVisit(a_), S_OK);
  EXPECT_EQ(first->events, (Events{"removing:1"}));
  EXPECT_EQ(second->events, (Events{"removing:1"}));
  ReadVisit after;
  EXPECT_EQ(Read(base_.get(), a_, &after), URLBASE_E_NOVISIT);
}

INSTANTIATE_TEST_SUITE_P(Answers, SinkAnswers, ::testing::ValuesIn(kAnswers),
                         [](const auto& info) { return info.param.name; });

TEST_F(RemovalEventsTest, UnadviseStopsTheEvents) {
  ComPtr<RecordingSink> kept(RecordingSink::Create());
  ComPtr<RecordingSink> dropped(RecordingSink::Create());
  Subscribe(base_.get(), kept.get());
  const DWORD cookie = Subscribe(base_.get(), dropped.get());
  ASSERT_EQ(base_->RemoveVisit(a_), S_OK);
  ASSERT_EQ(Unsubscribe(base_.get(), cookie), S_OK);
  ULONG index = 0;
  ASSERT_EQ(Add(base_.get(), 300, u"http://c/", u"", u"", &index), S_OK);
  ASSERT_EQ(base_->RemoveVisit(b_), S_OK);
  EXPECT_EQ(dropped->events, (Events{"removing:1"}));
  EXPECT_EQ(kept->events, (Events{"removing:1", "added:3", "removing:2"}));
}

TEST_F(RemovalEventsTest, ASinkMayUnadviseItselfAndOthersWhileCalled) {
  ComPtr<RecordingSink> first(RecordingSink::Create());
  ComPtr<RecordingSink> second(RecordingSink::Create());
  ComPtr<RecordingSink> third(RecordingSink::Create());
  const DWORD first_cookie = Subscribe(base_.get(), first.get());
  const DWORD second_cookie = Subscribe(base_.get(), second.get());
  Subscribe(base_.get(), third.get());
  first->on_before_remove = [&](ULONG) {
    EXPECT_EQ(Unsubscribe(base_.get(), first_cookie), S_OK);
    EXPECT_EQ(Unsubscribe(base_.get(), second_cookie), S_OK);
    return S_OK;
  };
  ASSERT_EQ(base_->RemoveVisit(a_), S_OK);
  EXPECT_EQ(first->events, (Events{"removing:1"}));
  EXPECT_TRUE(second->events.empty());
  EXPECT_EQ(third->events, (Events{"removing:1"}));
  // Each sink's reference went with its connection: only ours is left.
  EXPECT_EQ(first->references(), 1u);
  EXPECT_EQ(second->references(), 1u);
}

TEST_F(RemovalEventsTest, RemovingTheSameVisitInsideTheEventIsSFalse) {
  ComPtr<RecordingSink> sink(RecordingSink::Create());
  HRESULT nested = E_FAIL;
  sink->on_before_remove = [&](ULONG index) {
    nested = base_->RemoveVisit(index);
    return S_OK;
  };
  Subscribe(base_.get(), sink.get());
  ASSERT_EQ(base_->RemoveVisit(a_), S_OK);
  EXPECT_EQ(nested, S_FALSE);
  EXPECT_EQ(sink->events, (Events{"removing:1"}));
  ReadVisit after;
  EXPECT_EQ(Read(base_.get(), a_, &after), URLBASE_E_NOVISIT);
}

TEST_F(RemovalEventsTest, ASinkMayRemoveAnotherVisitWhileCalled) {
  ComPtr<RecordingSink> sink(RecordingSink::Create());
  sink->on_before_remove = [&](ULONG index) {
    return index == a_ ? base_->RemoveVisit(b_) : S_OK;
  };
  Subscribe(base_.get(), sink.get());
  ASSERT_EQ(base_->RemoveVisit(a_), S_OK);
  EXPECT_EQ(sink->events, (Events{"removing:1", "removing:2"}));
  EXPECT_EQ(testing::CountOf(base_.get()), 0u);
}

TEST_F(RemovalEventsTest, ASinkMayReleaseTheLastReferenceToTheHistory) {
  ComPtr<RecordingSink> sink(RecordingSink::Create());
  Subscribe(base_.get(), sink.get());
  IBromURLBase* base = base_.release();
  sink->on_before_remove = [base](ULONG) {
    base->Release();
    return S_OK;
  };
  // The object stays alive until the call returns.
  EXPECT_EQ(base->RemoveVisit(a_), S_OK);
  EXPECT_EQ(sink->events, (Events{"removing:1"}));
  // Its end released the sink's connection.
  EXPECT_EQ(sink->references(), 1u);
}

TEST_F(RemovalEventsTest, RemoveAllTellsTheSinksOfEachVisit) {
  ComPtr<RecordingSink> sink(RecordingSink::Create());
  std::vector<std::u16string> urls;
  sink->on_before_remove = [&](ULONG index) {
    ReadVisit visit;
    const HRESULT hr = Read(base_.get(), index, &visit);
    urls.push_back(visit.url);
    return hr;
  };
  Subscribe(base_.get(), sink.get());
  ASSERT_EQ(base_->RemoveAll(), S_OK);
  EXPECT_EQ(sink->events, (Events{"removing:1", "removing:2"}));
  EXPECT_EQ(urls, (std::vector<std::u16string>{u"http://a/", u"http://b/"}));
  EXPECT_EQ(testing::CountOf(base_.get()), 0u);
  EXPECT_EQ(base_->RemoveAll(), S_OK);
}

TEST_F(RemovalEventsTest, ReleasingTheHistoryReleasesItsSinks) {
  ComPtr<RecordingSink> sink(RecordingSink::Create());
  Subscribe(base_.get(), sink.get());
  EXPECT_EQ(sink->references(), 2u);
  base_.Reset();
  EXPECT_EQ(sink->references(), 1u);
  EXPECT_TRUE(sink->events.empty());
}

}  // namespace
}  // namespace qoinfo
