// What survives: acknowledged changes through a crash (the journal), index
// files that could not be read (never saved over), damage inside a file
// (recovered and reported), and checkpoints.
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

#include "index/index_files.h"
#include "platform/storage.h"
#include "platform/wide_string.h"
#include "tests/agent/running_agent_test.h"
#include "tests/support/memory_stream.h"

namespace qoinfo::testing {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Writes `bytes` as the stream "ids" of a new compound file at `path`.
void WriteIndexStream(const fs::path& path, const std::string& bytes) {
  constexpr DWORD kMode = STGM_CREATE | STGM_SHARE_EXCLUSIVE | STGM_WRITE;
  const platform::OleString name = platform::ToOleString(path.u16string());
  IStorage* storage = nullptr;
  ASSERT_EQ(StgCreateStorageEx(name.c_str(), kMode, STGFMT_STORAGE, 0, nullptr,
                               nullptr, IID_IStorage,
                               reinterpret_cast<void**>(&storage)),
            S_OK);
  IStream* stream = nullptr;
  const OLECHAR ids[] = {'i', 'd', 's', 0};
  ASSERT_EQ(storage->CreateStream(ids, kMode, 0, 0, &stream), S_OK);
  ULONG written = 0;
  stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written);
  stream->Release();
  storage->Commit(STGC_DEFAULT);
  storage->Release();
}

class DurabilityTest : public RunningAgentTest {
 protected:
  void AddPages(int count, std::int64_t first_time = 1) {
    for (int i = 0; i < count; ++i) {
      const std::u16string n(1, static_cast<char16_t>(u'a' + i % 26));
      ASSERT_EQ(AddPage(agent.get(), first_time + i, u"http://p/" + n,
                        u"common word" + n),
                S_OK);
    }
  }
  void Stop() {
    agent.Reset();
    object = nullptr;
    factory->ReleaseInstance();
  }
  // Ends this process's agent and starts another on `files` copied into
  // the data directory, as a restart after a crash would find them.
  void RestartOn(const fs::path& files) {
    Stop();
    fs::remove_all(dir.path());
    fs::copy(files, dir.path());
    factory = ComPtr<CZuInfoAgentFactory>(CZuInfoAgentFactory::New());
    Start();
  }
  // The data directory as a crash at this moment would leave it.
  // (The lock goes with a crashed process; Windows would not let it be read.
  // The image names the files it was made of, not copies of them.)
  fs::path Snapshot() {
    const fs::path copy = snapshots.path() / std::to_string(snapshot_count++);
    fs::create_directories(copy);
    for (const auto& entry : fs::directory_iterator(dir.path())) {
      if (entry.path().filename() != "agent.lock" &&
          entry.path().filename() != "index.image") {
        fs::copy_file(entry.path(), copy / entry.path().filename());
      }
    }
    return copy;
  }

  TempDir snapshots;
  int snapshot_count = 0;
};

TEST_F(DurabilityTest, AcknowledgedChangesOutliveACrash) {
  Start();
  AddPages(3);
  base.visits[1] = {2, u"http://p/b", u"", u""};
  base.FireBeforeRemove(1);
  const fs::path before_checkpoint = Snapshot();
  ASSERT_EQ(object->Checkpoint(), S_OK);
  EXPECT_EQ(object->UnsavedJournalBytes(), 0u);
  EXPECT_EQ(object->Checkpoint(), S_FALSE);
  AddPages(1, 10);
  const fs::path after_checkpoint = Snapshot();

  RestartOn(before_checkpoint);
  EXPECT_EQ(Pages(), 2u);
  EXPECT_EQ(SearchFor(agent.get(), u"wordb").size(), 0u);
  EXPECT_EQ(SearchFor(agent.get(), u"common").size(), 2u);
  EXPECT_FALSE(LastIndexStartupReport().data_dropped);
  RestartOn(after_checkpoint);
  EXPECT_EQ(Pages(), 3u);
  // New pages continue the identifiers of the run that crashed.
  EXPECT_EQ(object->Records().lastId(), 4);
  EXPECT_TRUE(alerts.alerts.empty());
}

// A run that only searched leaves the files as they were; a change saves.
TEST_F(DurabilityTest, NothingIsWrittenWhenNothingChanged) {
  Start();
  AddPages(2);
  auto restart = [&] {
    Stop();
    factory = ComPtr<CZuInfoAgentFactory>(CZuInfoAgentFactory::New());
    Start();
  };
  restart();
  const fs::path records = dir.path() / "1.hcpa";
  // (Windows file times as the MinGW library reads them are whole seconds:
  // there the time proves less, the contents still show the change.)
  const auto saved = fs::last_write_time(records);
  const std::string saved_bytes = ReadAll(records);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(SearchFor(agent.get(), u"common").size(), 2u);
  restart();
  EXPECT_EQ(fs::last_write_time(records), saved);
  AddPages(1, 10);
  restart();
  EXPECT_NE(ReadAll(records), saved_bytes);
  EXPECT_EQ(Pages(), 3u);
}

// A file that cannot be read, beside one that can: the agent does not
// start, says what to do, and both files stay exactly as they were.
TEST_F(DurabilityTest, AnUnreadablePartnerIsNeverSavedOver) {
  Start();
  AddPages(4);
  Stop();
  const fs::path good = Snapshot();
  const struct {
    const char* file;
    const char* damage;  // nullptr: removed
  } kCases[] = {{"1.hcpa", nullptr},     {"2.hcpb", nullptr},
                {"1.hcpa", "zeros"},     {"2.hcpb", "random"},
                {"1.hcpa", "truncated"}, {"2.hcpb", "a folder"}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c.file) + " " + (c.damage ? c.damage : "missing"));
    fs::remove_all(dir.path());
    fs::copy(good, dir.path());
    const fs::path target = dir / c.file;
    const std::string whole = ReadAll(target);
    if (c.damage == nullptr) {
      fs::remove(target);
    } else if (std::string(c.damage) == "a folder") {
      fs::remove(target);
      fs::create_directory(target);
    } else {
      std::string bytes = std::string(c.damage) == "truncated"
                              ? whole.substr(0, whole.size() / 3)
                              : std::string(whole.size(), '\0');
      if (std::string(c.damage) == "random") {
        for (std::size_t i = 0; i < bytes.size(); ++i)
          bytes[i] = char(i * 7919 % 251);
      }
      std::ofstream(target, std::ios::binary | std::ios::trunc) << bytes;
    }
    std::map<std::string, std::string> kept;
    for (const char* name : {"1.hcpa", "2.hcpb"}) {
      if (fs::is_regular_file(dir / name)) kept[name] = ReadAll(dir / name);
    }
    alerts.alerts.clear();
    factory = ComPtr<CZuInfoAgentFactory>(CZuInfoAgentFactory::New());
    EXPECT_EQ(
        factory->CreateInstance(nullptr, IID_IZuInfoAgent, agent.out_void()),
        E_FAIL);
    factory->ReleaseInstance();
    for (const auto& [name, bytes] : kept)
      EXPECT_EQ(ReadAll(dir / name), bytes) << name;
    ASSERT_EQ(alerts.alerts.size(), 1u);
    const std::u16string& text = alerts.alerts[0];
    EXPECT_NE(text.find(u"was not loaded"), std::u16string::npos);
    EXPECT_NE(text.find(u"start a new, empty index"), std::u16string::npos);
    EXPECT_FALSE(LastIndexStartupReport().loaded);
  }
}

TEST_F(DurabilityTest, DamageInsideAFileIsRecoveredAndReported) {
  Start();
  AddPages(20);
  MemoryStream records;
  ASSERT_EQ(
      const_cast<CIDContainer&>(object->Records()).Serialize(&records, false),
      S_OK);
  Stop();
  // The stream cut in its middle: the first records read, the rest lost.
  WriteIndexStream(dir / "1.hcpa",
                   records.bytes().substr(0, records.bytes().size() / 2));
  alerts.alerts.clear();
  factory = ComPtr<CZuInfoAgentFactory>(CZuInfoAgentFactory::New());
  Start();
  EXPECT_GT(Pages(), 0u);
  EXPECT_LT(Pages(), 20u);
  const IndexStartupReport report = LastIndexStartupReport();
  EXPECT_TRUE(report.loaded);
  EXPECT_TRUE(report.data_dropped);
  // The image of the files before the damage is refused in a line of its
  // own.
  ASSERT_EQ(alerts.alerts.size(), 2u);
  EXPECT_NE(alerts.alerts[0].find(u"index image"), std::u16string::npos);
  EXPECT_NE(alerts.alerts[1].find(u"1.hcpa in "), std::u16string::npos);
  EXPECT_NE(alerts.alerts[1].find(u"a copy is kept at"), std::u16string::npos);
  bool copy_found = false;
  for (const auto& entry : fs::directory_iterator(dir.path())) {
    copy_found |=
        entry.path().filename().string().rfind("1.hcpa.damaged-", 0) == 0;
  }
  EXPECT_TRUE(copy_found);
}

}  // namespace
}  // namespace qoinfo::testing
