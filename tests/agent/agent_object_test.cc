// The agent object and its singleton factory: one shared instance, the
// stored creation result, interfaces, module locks, start-up and shutdown.
#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>

#include "com/module_lock.h"
#include "host/idle_rule.h"
#include "index/index_files.h"
#include "tests/agent/agent_test_support.h"
#include "tests/agent/scripted_url_base.h"
#include "tests/support/temp_dir.h"
#include "urlbase/bromurlbase.h"

namespace qoinfo::testing {
namespace {

class AgentTest : public ::testing::Test {
 protected:
  AgentTest() { base.directories = {dir.u16()}; }

  HRESULT Create(IZuInfoAgent** agent, IUnknown* outer = nullptr) {
    return factory->CreateInstance(outer, IID_IZuInfoAgent,
                                   reinterpret_cast<void**>(agent));
  }
  bool Exists(IndexFile file) const {
    return std::filesystem::exists(IndexFilePath(dir.u16(), file));
  }

  ComApartment apartment;
  TempDir dir;
  ScriptedURLBase base;
  AlertRecorder alerts;
  ComPtr<CZuInfoAgentFactory> factory{CZuInfoAgentFactory::New()};
};

class RegisteredAgentTest : public AgentTest {
 protected:
  URLBaseRegistration registration{static_cast<IBromURLBase*>(&base)};
};

TEST_F(RegisteredAgentTest, EveryClientGetsTheSameAgentAndIndex) {
  ComPtr<IZuInfoAgent> first, second;
  ASSERT_EQ(Create(first.out()), S_OK);
  ASSERT_EQ(Create(second.out()), S_OK);
  EXPECT_EQ(first.get(), second.get());
  ASSERT_EQ(AddPage(first.get(), 7, u"http://a/", u"shared words"), S_OK);
  ASSERT_EQ(SearchFor(second.get(), u"shared").size(), 1u);
  EXPECT_TRUE(alerts.alerts.empty());
}

TEST_F(RegisteredAgentTest, ARequestFromInsideTheFirstCreationWaitsForNoOne) {
  // Start-up's call to the history is where a server's apartment takes the
  // next request on the same thread.
  // The hook owns what it records: it is still called at the fixture's
  // shutdown, after this body's locals are gone.
  struct Inner {
    bool asked = false;
    HRESULT hr = S_OK;
    ComPtr<IZuInfoAgent> agent;
  };
  auto inner = std::make_shared<Inner>();
  base.during_directory_call = [this, inner] {
    if (inner->asked) return;
    inner->asked = true;
    inner->hr = Create(inner->agent.out());
  };
  ComPtr<IZuInfoAgent> agent;
  ASSERT_EQ(Create(agent.out()), S_OK);
  EXPECT_EQ(inner->hr, E_PENDING);
  EXPECT_EQ(inner->agent.get(), nullptr);
  ComPtr<IZuInfoAgent> later;
  ASSERT_EQ(Create(later.out()), S_OK);
  EXPECT_EQ(later.get(), agent.get());
}

TEST_F(RegisteredAgentTest, AggregationIsRefusedBeforeAndAfterCreation) {
  ComPtr<IZuInfoAgent> agent;
  IUnknown* outer = static_cast<IBromURLBase*>(&base);
  EXPECT_EQ(Create(agent.out(), outer), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(agent.get(), nullptr);
  ASSERT_EQ(Create(agent.out()), S_OK);
  ComPtr<IZuInfoAgent> again;
  EXPECT_EQ(Create(again.out(), outer), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IZuInfoAgent, nullptr), E_POINTER);
}

TEST_F(RegisteredAgentTest, AnswersItsThreeInterfacesAndNoOther) {
  ComPtr<IZuInfoAgent> agent;
  ASSERT_EQ(Create(agent.out()), S_OK);
  ComPtr<IUnknown> unknown, dispatch, class_info, class_info2, other;
  EXPECT_EQ(agent->QueryInterface(IID_IUnknown, unknown.out_void()), S_OK);
  EXPECT_EQ(agent->QueryInterface(IID_IDispatch, dispatch.out_void()), S_OK);
  EXPECT_EQ(agent->QueryInterface(IID_IProvideClassInfo, class_info.out_void()),
            S_OK);
  EXPECT_EQ(unknown.get(), static_cast<IUnknown*>(agent.get()));
  EXPECT_EQ(dispatch.get(), static_cast<IUnknown*>(agent.get()));
  const IID iid_provide_class_info2 = {
      0xA6BC3AC0, 0xDBAA, 0x11CE, {0x9D, 0xE3, 0x00, 0xAA, 0x00, 0x4B, 0xB8, 0x51}};
  EXPECT_EQ(agent->QueryInterface(iid_provide_class_info2, class_info2.out_void()),
            E_NOINTERFACE);
  EXPECT_EQ(class_info2.get(), nullptr);
  EXPECT_EQ(agent->QueryInterface(IID_IConnectionPointContainer, other.out_void()),
            E_NOINTERFACE);
}

TEST_F(RegisteredAgentTest, ClientsHoldTheModuleLockAndTheFactoryKeepsTheAgent) {
  const std::int32_t before = ProcessModuleLock().Count();
  ComPtr<IZuInfoAgent> agent;
  ASSERT_EQ(Create(agent.out()), S_OK);
  ASSERT_EQ(AddPage(agent.get(), 1, u"http://kept/", u"kept"), S_OK);
  // The agent's own lock while a client holds it, and its event sink's.
  EXPECT_EQ(ProcessModuleLock().Count(), before + 2);
  agent.Reset();
  EXPECT_EQ(ProcessModuleLock().Count(), before + 1);
  ASSERT_EQ(Create(agent.out()), S_OK);
  EXPECT_EQ(SearchFor(agent.get(), u"kept").size(), 1u);
  agent.Reset();
  factory->ReleaseInstance();
  EXPECT_EQ(ProcessModuleLock().Count(), before);
  EXPECT_EQ(Create(agent.out()), CO_E_SERVER_STOPPING);
}

TEST_F(AgentTest, WithoutAURLBaseCreationFailsOnceAndForAll) {
  ComPtr<IZuInfoAgent> agent;
  EXPECT_EQ(Create(agent.out()), E_FAIL);
  EXPECT_EQ(alerts.alerts, std::vector<std::u16string>{u"Tq Cannot create ZuUBO"});
  // Registering the component now changes nothing: the result is kept.
  URLBaseRegistration registration(static_cast<IBromURLBase*>(&base));
  EXPECT_EQ(Create(agent.out()), E_FAIL);
  EXPECT_EQ(alerts.alerts.size(), 1u);
  EXPECT_EQ(base.directory_calls, 0);
  EXPECT_FALSE(Exists(IndexFile::kRecords));
  EXPECT_FALSE(Exists(IndexFile::kWords));
}

TEST_F(RegisteredAgentTest, ARefusedSubscriptionFailsAndLeavesTheFilesAlone) {
  CIDContainer records;
  CTimeURLContainer visit(3, u"http://old/", u"", u"");
  records.AddRecord(visit);
  ASSERT_EQ(SaveIndexFiles(dir.u16(), records, CWordToIdsContainer()), S_OK);
  const auto written = std::filesystem::last_write_time(
      std::filesystem::path(IndexFilePath(dir.u16(), IndexFile::kRecords)));
  base.advise_result = CONNECT_E_CANNOTCONNECT;
  ComPtr<IZuInfoAgent> agent;
  EXPECT_EQ(Create(agent.out()), E_FAIL);
  EXPECT_EQ(alerts.alerts, std::vector<std::u16string>{u"Tq Cannot hook ZuUBO"});
  EXPECT_EQ(base.directory_calls, 0);
  EXPECT_EQ(std::filesystem::last_write_time(std::filesystem::path(
                IndexFilePath(dir.u16(), IndexFile::kRecords))),
            written);
  EXPECT_EQ(base.ref_count, 2);  // the test's and the registration's
}

TEST_F(RegisteredAgentTest, ANewDataDirectoryStartsEmptyAndGetsBothFiles) {
  ComPtr<IZuInfoAgent> agent;
  ASSERT_EQ(Create(agent.out()), S_OK);
  EXPECT_TRUE(SearchFor(agent.get(), u"anything").empty());
  EXPECT_FALSE(Exists(IndexFile::kRecords));
  agent.Reset();
  factory->ReleaseInstance();
  EXPECT_EQ(LastShutdownSaveResult(), S_OK);
  EXPECT_TRUE(Exists(IndexFile::kRecords));
  EXPECT_TRUE(Exists(IndexFile::kWords));
}

// The index, its journal and its lock stay together: the save asks the
// history nothing (it may be unable to answer by then) and goes where the
// load was.
TEST_F(RegisteredAgentTest, PagesReachTheFilesInTheDirectoryTheyWereLoadedFrom) {
  TempDir elsewhere;
  base.directories = {dir.u16(), elsewhere.u16()};
  ComPtr<IZuInfoAgent> agent;
  ASSERT_EQ(Create(agent.out()), S_OK);
  ASSERT_EQ(AddPage(agent.get(), 9, u"http://p/", u"persisted page"), S_OK);
  agent.Reset();
  factory->ReleaseInstance();
  EXPECT_EQ(base.directory_calls, 1);
  EXPECT_TRUE(std::filesystem::is_empty(elsewhere.path()));
  CIDContainer records;
  CWordToIdsContainer words;
  ASSERT_EQ(LoadIndexFiles(dir.u16(), records, words).hr, S_OK);
  EXPECT_EQ(records.GetRecords().size(), 1u);
  EXPECT_EQ(words.GetWords().count(u"persisted"), 1u);
}

// The agent hands each page's text to the history it runs with and reads
// it back as its PageTexts: our history keeps it (for a visit it has); a
// history without IBromPageTexts keeps none.
struct PageTextRow {
  const char* name;
  bool our_history;
  bool visit_stored;
  bool text_read;
};

void PrintTo(const PageTextRow& row, std::ostream* out) { *out << row.name; }

const PageTextRow kPageTextRows[] = {
    {"our_history_keeps_the_text", true, true, true},
    {"no_visit_no_text", true, false, false},
    {"a_history_without_texts", false, true, false},
};

class PageTextsTest : public AgentTest,
                      public ::testing::WithParamInterface<PageTextRow> {};

TEST_P(PageTextsTest, AgentReadsBackWhatTheHistoryKept) {
  const PageTextRow& row = GetParam();
  ComPtr<IBromURLBase> history;
  if (row.our_history) {
    ASSERT_EQ(CBromURLBase::CreateInDirectory(dir.u16(), IID_IBromURLBase,
                                              history.out_void()),
              S_OK);
  }
  URLBaseRegistration registration(
      row.our_history ? static_cast<IUnknown*>(history.get())
                      : static_cast<IBromURLBase*>(&base));
  const std::u16string text = u"The lighthouse keeper \u00e9t\u00e9\nnight";
  if (row.visit_stored && row.our_history) {
    ULONG index = 0;
    const platform::UniqueBstr url(platform::AllocBstr(u"http://p/"));
    ASSERT_EQ(history->AddVisit(7, url.get(), nullptr, nullptr, &index), S_OK);
  }
  ComPtr<IZuInfoAgent> agent;
  ASSERT_EQ(Create(agent.out()), S_OK);
  ASSERT_EQ(AddPage(agent.get(), 7, u"http://p/", text), S_OK);
  std::u16string read = u"untouched";
  EXPECT_EQ(AgentObject(agent.get())->PageTexts().TextOf(7, u"http://p/", &read),
            row.text_read);
  EXPECT_EQ(read, row.text_read ? text : u"untouched");
  agent.Reset();
  factory->ReleaseInstance();
}

INSTANTIATE_TEST_SUITE_P(Rows, PageTextsTest, ::testing::ValuesIn(kPageTextRows),
                         [](const auto& info) { return info.param.name; });

TEST_F(RegisteredAgentTest, NoDataDirectoryFailsStartUpAndSavesNothing) {
  base.directories = {u""};  // a null BSTR
  ComPtr<IZuInfoAgent> agent;
  EXPECT_EQ(Create(agent.out()), E_FAIL);
  EXPECT_EQ(LastShutdownSaveResult(), S_FALSE);
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST_F(RegisteredAgentTest, ShutdownUnsubscribesAndReleasesTheURLBase) {
  ComPtr<IZuInfoAgent> agent;
  ASSERT_EQ(Create(agent.out()), S_OK);
  EXPECT_EQ(base.sinks.size(), 1u);
  agent.Reset();
  factory->ReleaseInstance();
  EXPECT_TRUE(base.sinks.empty());
  EXPECT_EQ(base.ref_count, 2);  // the test's and the registration's
}

// --- What comes in while the agent waits for the history --------------------
//
// A call out lets a server's apartment take in whatever arrives meanwhile.
// Each row lets one thing happen at one such moment, in a run that finds
// page a on disk, adds page b, and (where the moment is GetData) has the
// history remove a. An idle rule watches the process's lock count as a local
// server's does, started as a server started by a request is.

enum class Moment { kHistoryCreation, kDirectoryCall, kGetData };
enum class Happening { kIdleTimePasses, kRemovalOfA, kSessionEnd };

struct LifetimeRow {
  const char* name;
  Moment moment;
  Happening happening;
  // The pages a restart finds afterwards.
  const char* pages_after;
  // The pages in the index files right after the happening (nullptr: not
  // looked at).
  const char* saved_at_happening;
};

const LifetimeRow kLifetimeRows[] = {
    {"CreationSlowerThanTheIdleTime", Moment::kHistoryCreation,
     Happening::kIdleTimePasses, "http://a/ http://b/", nullptr},
    {"RemovalBetweenHookAndLoad", Moment::kDirectoryCall,
     Happening::kRemovalOfA, "http://b/", nullptr},
    // Outgoing calls fail from the end on, as inside the end-of-session
    // message; the handler's GetData was already on its way.
    {"SessionEndInsideGetData", Moment::kGetData, Happening::kSessionEnd,
     "http://b/", "http://a/ http://b/"},
};

void PrintTo(const LifetimeRow& row, std::ostream* out) { *out << row.name; }

class LifetimeTest : public AgentTest,
                     public ::testing::WithParamInterface<LifetimeRow> {
 protected:
  static constexpr std::chrono::milliseconds kIdleTime{20};
  // RPC_E_CANTCALLOUT_ININPUTSYNCCALL.
  static constexpr HRESULT kCannotCallOut = static_cast<HRESULT>(0x8001010DL);

  static std::string Urls(const CIDContainer& records) {
    std::string urls;
    for (const auto& [id, record] : records.GetRecords()) {
      if (!urls.empty()) urls += ' ';
      urls += std::string(record.m_url.begin(), record.m_url.end());
    }
    return urls;
  }
  std::string PagesOnDisk() const {
    CIDContainer records;
    CWordToIdsContainer words;
    LoadIndexFiles(dir.u16(), records, words);
    return Urls(records);
  }

  void Happen(Happening what) {
    switch (what) {
      case Happening::kIdleTimePasses:
        std::this_thread::sleep_for(kIdleTime * 5);
        break;
      case Happening::kRemovalOfA:
        EXPECT_EQ(base.FireBeforeRemove(1), std::vector<HRESULT>{S_OK});
        break;
      case Happening::kSessionEnd:
        // What the server does there: the agent ends, its clients are cut
        // off, and nothing can be asked of the history any more.
        base.directory_result = kCannotCallOut;
        factory->EndInstanceNow();
        agent.Reset();
        saved_at_happening = PagesOnDisk();
        break;
    }
  }

  ComPtr<IZuInfoAgent> agent;
  std::string saved_at_happening;
};

TEST_P(LifetimeTest, LosesNothingAndKeepsTheServer) {
  const LifetimeRow& row = GetParam();
  CIDContainer earlier;
  earlier.AddRecord(CTimeURLContainer(1, u"http://a/", u"", u""));
  ASSERT_EQ(SaveIndexFiles(dir.u16(), earlier, CWordToIdsContainer()), S_OK);
  base.visits[1] = {1, u"http://a/", u"", u""};
  ASSERT_EQ(ProcessModuleLock().Count(), 0);
  std::atomic<bool> quit{false};
  CIdleRule idle(ProcessModuleLock(), [&quit] { quit = true; }, kIdleTime);
  idle.Start();
  idle.OnLockCountZero();  // no lock yet when the first request arrives
  bool happened = false;
  const std::function<void()> once = [&] {
    if (happened) return;
    happened = true;
    Happen(row.happening);
  };
  {
    URLBaseRegistration registration(
        static_cast<IBromURLBase*>(&base),
        row.moment == Moment::kHistoryCreation ? once : nullptr);
    if (row.moment == Moment::kDirectoryCall) base.during_directory_call = once;
    if (row.moment == Moment::kGetData) base.during_get_data = once;
    ASSERT_EQ(Create(agent.out()), S_OK);
    EXPECT_FALSE(quit) << "the idle rule ended the server while it made the agent";
    ASSERT_EQ(AddPage(agent.get(), 2, u"http://b/", u"beta"), S_OK);
    if (row.moment == Moment::kGetData) {
      EXPECT_EQ(base.FireBeforeRemove(1), std::vector<HRESULT>{S_OK});
    }
    EXPECT_TRUE(happened);
    idle.Stop();
    base.during_directory_call = nullptr;
    base.during_get_data = nullptr;
    base.directory_result = S_OK;
    agent.Reset();
    factory->ReleaseInstance();
  }
  if (row.saved_at_happening != nullptr) {
    EXPECT_EQ(saved_at_happening, row.saved_at_happening);
  }
  URLBaseRegistration registration(static_cast<IBromURLBase*>(&base));
  factory = ComPtr<CZuInfoAgentFactory>(CZuInfoAgentFactory::New());
  ASSERT_EQ(Create(agent.out()), S_OK);
  EXPECT_EQ(Urls(AgentObject(agent.get())->Records()), row.pages_after);
}

INSTANTIATE_TEST_SUITE_P(Rows, LifetimeTest, ::testing::ValuesIn(kLifetimeRows),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace qoinfo::testing
