// The two index files on disk: round trips through real compound files,
// missing and damaged files, and saves that fail or are interrupted.
#include "index/index_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/storage.h"
#include "platform/wide_string.h"
#include "tests/support/temp_dir.h"

namespace qoinfo {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

struct Index {
  CIDContainer records;
  CWordToIdsContainer words;
};

Index SampleIndex() {
  Index index;
  const std::int64_t a =
      index.records.AddRecord(CTimeURLContainer(100, u"http://a/é", u"/tmp/a", u"Ä"));
  const std::int64_t b =
      index.records.AddRecord(CTimeURLContainer(200, u"http://b/\U0001F600", u"", u"B"));
  index.words.AddWords({{u"alpha", 2}, {u"\u00e9t\u00e9", 1}}, a);
  index.words.AddWords({{u"alpha", 1}, {u"beta", 4}}, b);
  return index;
}

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// Writes a compound file at `path` whose root holds one stream.
void WriteCompoundFile(const std::u16string& path, std::u16string_view stream_name,
                       const std::string& bytes) {
  constexpr DWORD kMode = STGM_CREATE | STGM_SHARE_EXCLUSIVE | STGM_WRITE;
  const platform::OleString name = platform::ToOleString(path);
  IStorage* storage = nullptr;
  ASSERT_EQ(StgCreateStorageEx(name.c_str(), kMode, STGFMT_STORAGE, 0, nullptr, nullptr,
                               IID_IStorage, reinterpret_cast<void**>(&storage)),
            S_OK);
  IStream* stream = nullptr;
  const platform::OleString stream_ole = platform::ToOleString(stream_name);
  ASSERT_EQ(storage->CreateStream(stream_ole.c_str(), kMode, 0, 0, &stream), S_OK);
  ULONG written = 0;
  EXPECT_EQ(stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written), S_OK);
  stream->Release();
  EXPECT_EQ(storage->Commit(STGC_DEFAULT), S_OK);
  storage->Release();
}

TEST(IndexFiles, PathsJoinDirectoryAndName) {
  const std::u16string sep(1, IndexFilePath(u"", IndexFile::kRecords)[0]);
  EXPECT_EQ(IndexFilePath(u"dir", IndexFile::kRecords), u"dir" + sep + u"1.hcpa");
  EXPECT_EQ(IndexFilePath(u"dir", IndexFile::kWords), u"dir" + sep + u"2.hcpb");
  EXPECT_EQ(IndexFilePath(u"", IndexFile::kWords), sep + u"2.hcpb");
  EXPECT_EQ(IndexFilePath(u"dir", IndexFile::kImage), u"dir" + sep + u"index.image");
}

TEST(IndexFiles, SaveThenLoadRestoresEverything) {
  TempDir dir;
  const Index saved = SampleIndex();
  ASSERT_EQ(SaveIndexFiles(dir.u16(), saved.records, saved.words), S_OK);
  EXPECT_TRUE(fs::exists(dir / "1.hcpa"));
  EXPECT_TRUE(fs::exists(dir / "2.hcpb"));
  EXPECT_FALSE(fs::exists(dir / "1.hcpa.saving"));

  Index loaded;
  loaded.records.AddRecord(CTimeURLContainer(1, u"stale", u"", u""));
  const IndexLoadResult result = LoadIndexFiles(dir.u16(), loaded.records, loaded.words);
  EXPECT_EQ(result.hr, S_OK);
  EXPECT_FALSE(result.records.damaged || result.words.damaged);
  EXPECT_EQ(loaded.records.lastId(), 2);
  EXPECT_EQ(loaded.records.GetRecords(), saved.records.GetRecords());
  EXPECT_EQ(loaded.words.GetWords(), saved.words.GetWords());
  // New records continue the identifier sequence.
  EXPECT_EQ(loaded.records.AddRecord(CTimeURLContainer(300, u"c", u"", u"")), 3);
}

TEST(IndexFiles, EmptyIndexWritesTwelveAndFourByteStreams) {
  TempDir dir;
  Index empty;
  ASSERT_EQ(SaveIndexFiles(dir.u16(), empty.records, empty.words), S_OK);
  Index loaded = SampleIndex();
  EXPECT_EQ(LoadIndexFiles(dir.u16(), loaded.records, loaded.words).hr, S_OK);
  EXPECT_TRUE(loaded.records.GetRecords().empty());
  EXPECT_EQ(loaded.records.lastId(), 0);
  EXPECT_TRUE(loaded.words.GetWords().empty());
}

TEST(IndexFiles, NewDirectoryReportsBothFilesMissing) {
  TempDir dir;
  Index index = SampleIndex();
  const IndexLoadResult result = LoadIndexFiles(dir.u16(), index.records, index.words);
  EXPECT_EQ(result.hr, E_FAIL);
  EXPECT_TRUE(result.NeitherFileExists());
  EXPECT_FALSE(result.records.damaged);
  // Memory is unchanged when nothing could be read.
  EXPECT_EQ(index.records.GetRecords().size(), 2u);
}

TEST(IndexFiles, MissingWordFileKeepsTheLoadedRecords) {
  TempDir dir;
  const Index saved = SampleIndex();
  ASSERT_EQ(SaveIndexFiles(dir.u16(), saved.records, saved.words), S_OK);
  fs::remove(dir / "2.hcpb");
  Index loaded;
  loaded.words.AddWords({{u"untouched", 1}}, 9);
  const IndexLoadResult result = LoadIndexFiles(dir.u16(), loaded.records, loaded.words);
  EXPECT_EQ(result.hr, E_FAIL);
  EXPECT_FALSE(result.NeitherFileExists());
  EXPECT_TRUE(result.words.missing);
  EXPECT_EQ(loaded.records.GetRecords().size(), 2u);
  EXPECT_EQ(loaded.words.GetWords().count(u"untouched"), 1u);
}

TEST(IndexFiles, FileThatIsNotACompoundFileIsCopiedAside) {
  TempDir dir;
  WriteAll(dir / "1.hcpa", "this is not a compound file");
  Index index;
  const IndexLoadResult result = LoadIndexFiles(dir.u16(), index.records, index.words);
  EXPECT_EQ(result.hr, E_FAIL);
  EXPECT_FALSE(result.records.missing);
  EXPECT_TRUE(result.records.damaged);
  ASSERT_FALSE(result.records.damaged_copy.empty());
  EXPECT_EQ(ReadAll(fs::path(result.records.damaged_copy)), "this is not a compound file");
}

TEST(IndexFiles, FileWithoutTheStreamFailsWithoutReading) {
  TempDir dir;
  WriteCompoundFile(IndexFilePath(dir.u16(), IndexFile::kRecords), u"other", "x");
  Index index = SampleIndex();
  const IndexLoadResult result = LoadIndexFiles(dir.u16(), index.records, index.words);
  EXPECT_EQ(result.hr, E_FAIL);
  EXPECT_TRUE(result.records.damaged);
  EXPECT_EQ(index.records.GetRecords().size(), 2u);
}

TEST(IndexFiles, DamagedStreamKeepsWhatPrecededTheDamageAndIsCopied) {
  TempDir dir;
  const Index saved = SampleIndex();
  ASSERT_EQ(SaveIndexFiles(dir.u16(), saved.records, saved.words), S_OK);
  // Cut the word file's stream short by rewriting it with fewer words and a
  // word count that promises more.
  CWordToIdsContainer partial;
  partial.AddWords({{u"alpha", 2}}, 1);
  std::string bytes;
  PutFixed32(&bytes, 3);  // three words promised, one present
  PutFixed32(&bytes, 1);
  PutFixed64(&bytes, 1);
  PutFixed32(&bytes, 2);
  PutCountedString(&bytes, u"alpha");
  WriteCompoundFile(IndexFilePath(dir.u16(), IndexFile::kWords), u"ids", bytes);
  Index loaded;
  const IndexLoadResult result = LoadIndexFiles(dir.u16(), loaded.records, loaded.words);
  EXPECT_EQ(result.hr, S_OK);
  EXPECT_TRUE(result.words.damaged);
  EXPECT_EQ(result.words.problem.offset, 36u);  // where the second word would start
  EXPECT_EQ(loaded.words.GetWords(), partial.GetWords());
  ASSERT_FALSE(result.words.damaged_copy.empty());
  EXPECT_EQ(ReadAll(fs::path(result.words.damaged_copy)), ReadAll(dir / "2.hcpb"));
  // A second load makes a second copy rather than overwriting the first.
  Index again;
  const IndexLoadResult second = LoadIndexFiles(dir.u16(), again.records, again.words);
  EXPECT_NE(second.words.damaged_copy, result.words.damaged_copy);
  EXPECT_TRUE(fs::exists(fs::path(result.words.damaged_copy)));
}

TEST(IndexFiles, EveryTruncationOfACompoundFileIsHandled) {
  // Cut a saved file at every byte: the read never crashes or hangs, and a
  // file it calls sound holds exactly what was saved.
  TempDir dir;
  const Index saved = SampleIndex();
  ASSERT_EQ(SaveIndexFiles(dir.u16(), saved.records, saved.words), S_OK);
  for (const char* name : {"1.hcpa", "2.hcpb"}) {
    const std::string full = ReadAll(dir / name);
    ASSERT_GT(full.size(), 512u);
    const fs::path cut_path = dir / (std::string("cut-") + name);
    for (std::size_t cut = 0; cut < full.size(); cut += 7) {
      WriteAll(cut_path, full.substr(0, cut));
      IndexFileLoad status;
      Index read;
      const bool records_file = std::string(name) == "1.hcpa";
      const bool ok = records_file
                          ? ReadIndexFile(cut_path.u16string(), read.records, status)
                          : ReadIndexFile(cut_path.u16string(), read.words, status);
      if (ok && !status.damaged) {
        if (records_file) {
          EXPECT_EQ(read.records.GetRecords(), saved.records.GetRecords()) << cut;
        } else {
          EXPECT_EQ(read.words.GetWords(), saved.words.GetWords()) << cut;
        }
      } else {
        EXPECT_TRUE(status.damaged || FAILED(status.hr)) << cut;
      }
    }
  }
}

// A crash at any point of a save (simulated by stopping it there) leaves a
// pair that loads as both old files with their journal, or both new ones.
TEST(IndexFiles, ACrashAnywhereInASaveLeavesOneWholePair) {
  const struct {
    SaveStage stage;
    bool new_pair;
  } kCases[] = {{SaveStage::kCommit, false},
                {SaveStage::kReplaceRecords, true},
                {SaveStage::kReplaceWords, true},
                {SaveStage::kFinish, true}};
  for (const auto& c : kCases) {
    TempDir dir;
    const Index first = SampleIndex();
    ASSERT_EQ(SaveIndexFiles(dir.u16(), first.records, first.words), S_OK);
    WriteAll(dir / "index.journal", "changes since the first save");
    Index second = SampleIndex();
    second.records.AddRecord(CTimeURLContainer(999, u"new", u"", u""));
    second.words.AddWords({{u"new", 1}}, 3);
    EXPECT_EQ(SaveIndexFiles(dir.u16(), second.records, second.words,
                             [&](SaveStage at) { return at == c.stage; }),
              E_ABORT);
    SaveRecovery recovery;
    ASSERT_EQ(RecoverInterruptedSave(dir.u16(), &recovery), S_OK);
    EXPECT_EQ(recovery, c.new_pair ? SaveRecovery::kCompleted
                                   : SaveRecovery::kTemporariesRemoved);
    Index loaded;
    const IndexLoadResult result =
        LoadIndexFiles(dir.u16(), loaded.records, loaded.words);
    EXPECT_EQ(result.hr, S_OK);
    const Index& expected = c.new_pair ? second : first;
    EXPECT_EQ(loaded.records.GetRecords(), expected.records.GetRecords());
    EXPECT_EQ(loaded.words.GetWords(), expected.words.GetWords());
    // The journal goes with the old pair; the new pair holds its changes.
    EXPECT_EQ(fs::exists(dir / "index.journal"), !c.new_pair);
    for (const char* left : {"1.hcpa.saving", "2.hcpb.saving", "index.commit"}) {
      EXPECT_FALSE(fs::exists(dir / left)) << left;
    }
  }
}

TEST(IndexFiles, SaveIntoAMissingDirectoryFailsAndWritesNothing) {
  TempDir dir;
  const Index index = SampleIndex();
  const std::u16string missing = dir.u16() + IndexFilePath(u"", IndexFile::kRecords).substr(0, 1) + u"absent";
  EXPECT_TRUE(FAILED(SaveIndexFiles(missing, index.records, index.words)));
  EXPECT_TRUE(fs::is_empty(dir.path()));
}

}  // namespace
}  // namespace qoinfo
