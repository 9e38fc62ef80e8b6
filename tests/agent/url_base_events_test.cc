// The agent's side of the URL base object's events: the removal handler,
// subscriptions made and undone, unbound events, and the sink's names.
#include "index/index_files.h"
#include "tests/agent/running_agent_test.h"

namespace qoinfo::testing {
namespace {

class EventsTest : public RunningAgentTest {
 protected:
  bool HasPage(std::int64_t id) const {
    return object->Records().GetRecords().count(id) != 0;
  }
  std::size_t PostingsOf(const std::u16string& word) const {
    const auto words = object->Words().GetWords();
    auto it = words.find(word);
    return it == words.end() ? 0 : it->second.size();
  }
};

TEST_F(EventsTest, RemovalTakesThePageMatchedByTimeAndURLOnly) {
  Start();
  ASSERT_EQ(AddPage(agent.get(), 5, u"http://a/", u"alpha beta", u"/p", u"A"), S_OK);
  ASSERT_EQ(AddPage(agent.get(), 6, u"http://b/", u"beta", u"", u""), S_OK);
  // Path and title differ from the stored ones: no matter.
  base.visits[41] = {5, u"http://a/", u"/elsewhere", u"Other title"};
  EXPECT_EQ(base.FireBeforeRemove(41), std::vector<HRESULT>{S_OK});
  EXPECT_FALSE(HasPage(1));
  EXPECT_TRUE(HasPage(2));
  EXPECT_EQ(PostingsOf(u"beta"), 1u);
  // A word left without pages leaves the word index.
  EXPECT_EQ(object->Words().GetWords().count(u"alpha"), 0u);
  EXPECT_TRUE(SearchFor(agent.get(), u"alpha").empty());
}

TEST_F(EventsTest, OfTwoEqualRecordsTheLowerIdentifierGoes) {
  CIDContainer records;
  CWordToIdsContainer words;
  records.InsertLoaded(4, CTimeURLContainer(5, u"http://twin/", u"", u""));
  records.InsertLoaded(9, CTimeURLContainer(5, u"http://twin/", u"", u""));
  records.SetLastId(9);
  ASSERT_EQ(SaveIndexFiles(dir.u16(), records, words), S_OK);
  Start();
  base.visits[1] = {5, u"http://twin/", u"", u""};
  base.FireBeforeRemove(1);
  EXPECT_FALSE(HasPage(4));
  EXPECT_TRUE(HasPage(9));
}

TEST_F(EventsTest, UnknownPagesAndFailedReadsChangeNothing) {
  Start();
  ASSERT_EQ(AddPage(agent.get(), 5, u"http://a/", u"alpha"), S_OK);
  base.visits[1] = {5, u"http://other/", u"", u""};
  EXPECT_EQ(base.FireBeforeRemove(1), std::vector<HRESULT>{S_OK});
  EXPECT_EQ(base.FireBeforeRemove(2), std::vector<HRESULT>{S_OK});  // no visit 2
  base.visits[3] = {5, u"http://a/", u"", u""};
  base.get_data_result = E_OUTOFMEMORY;
  EXPECT_EQ(base.FireBeforeRemove(3), std::vector<HRESULT>{S_OK});
  EXPECT_EQ(Pages(), 1u);
}

TEST_F(EventsTest, NullStringsFromTheURLBaseReadAsEmpty) {
  Start();
  ASSERT_EQ(AddPage(agent.get(), 8, u"", u"orphan text"), S_OK);
  ASSERT_EQ(Pages(), 1u);
  base.visits[1] = {8, u"ignored", u"", u"", /*null_strings=*/true};
  EXPECT_EQ(base.FireBeforeRemove(1), std::vector<HRESULT>{S_OK});
  EXPECT_EQ(Pages(), 0u);
}

TEST_F(EventsTest, UnboundEventsAnswerSFalseAndAddNothing) {
  Start();
  base.visits[1] = {5, u"http://a/", u"", u""};
  EXPECT_EQ(base.FireAdded(1), std::vector<HRESULT>{S_FALSE});
  EXPECT_EQ(base.FireSettingsChanged(), std::vector<HRESULT>{S_FALSE});
  EXPECT_EQ(Pages(), 0u);
}

TEST_F(EventsTest, EachHookIsOneMoreSubscriptionAndEachUnhookUndoesOne) {
  CIDContainer records;
  records.InsertLoaded(1, CTimeURLContainer(5, u"http://twin/", u"", u""));
  records.InsertLoaded(2, CTimeURLContainer(5, u"http://twin/", u"", u""));
  records.SetLastId(2);
  ASSERT_EQ(SaveIndexFiles(dir.u16(), records, CWordToIdsContainer()), S_OK);
  Start();
  ASSERT_EQ(object->HookEvents(), S_OK);
  ASSERT_EQ(base.sinks.size(), 2u);
  // One event, handled once per subscription: both twins go.
  base.visits[1] = {5, u"http://twin/", u"", u""};
  EXPECT_EQ(base.FireBeforeRemove(1), (std::vector<HRESULT>{S_OK, S_OK}));
  EXPECT_EQ(Pages(), 0u);
  EXPECT_EQ(object->UnhookEvents(), S_OK);
  EXPECT_EQ(object->UnhookEvents(), S_OK);
  EXPECT_EQ(object->UnhookEvents(), E_FAIL);
  EXPECT_TRUE(base.sinks.empty());
  // The records stay; hooking again reuses the first.
  EXPECT_EQ(object->HookEvents(), S_OK);
  EXPECT_EQ(base.sinks.size(), 1u);
}

TEST_F(EventsTest, ASinkLeftAdvisedAfterTheAgentIsGoneAnswersSFalse) {
  Start();
  base.unadvise_result = E_UNEXPECTED;  // shutdown cannot unsubscribe
  agent.Reset();
  factory->ReleaseInstance();
  ASSERT_EQ(base.sinks.size(), 1u);
  base.visits[1] = {5, u"http://a/", u"", u""};
  EXPECT_EQ(base.FireBeforeRemove(1), std::vector<HRESULT>{S_FALSE});
}

TEST_F(EventsTest, TheSinkKnowsItsNamesInAnyCase) {
  Start();
  IBromURLBaseEvents* sink = base.sinks.begin()->second;
  std::u16string names[] = {u"ONDATABEFOREREMOVE", u"Index", u"ondataadded",
                            u"OnSettingsChanged", u"OnSomethingElse", u"index"};
  LPOLESTR pointers[6];
  for (int i = 0; i < 6; ++i) {
    pointers[i] = reinterpret_cast<LPOLESTR>(names[i].data());
  }
  DISPID ids[6] = {-7, -7, -7, -7, -7, -7};
  EXPECT_EQ(sink->GetIDsOfNames(IID_NULL, pointers, 4, 0, ids), S_OK);
  EXPECT_EQ(std::vector<DISPID>(ids, ids + 4), (std::vector<DISPID>{2, 0, 1, 3}));
  // Names up to the first unknown one are answered, later ones are not.
  DISPID more[3] = {-7, -7, -7};
  EXPECT_EQ(sink->GetIDsOfNames(IID_NULL, pointers + 3, 3, 0, more),
            DISP_E_UNKNOWNNAME);
  EXPECT_EQ(more[0], 3);
  EXPECT_EQ(more[2], -7);
  ComPtr<IUnknown> dispatch;
  EXPECT_EQ(sink->QueryInterface(IID_IDispatch, dispatch.out_void()), S_OK);
}

}  // namespace
}  // namespace qoinfo::testing
