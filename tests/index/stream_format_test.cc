// Golden bytes of the stream layouts and round trips through them.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <random>

#include "index/id_container.h"
#include "index/index_image.h"
#include "index/word_to_ids_container.h"
#include "tests/support/memory_stream.h"
#include "tests/support/temp_dir.h"

namespace qoinfo {
namespace {

using testing::Hex;
using testing::MemoryStream;

template <typename Container>
std::string Written(Container& container) {
  MemoryStream stream;
  EXPECT_EQ(container.Serialize(&stream, false), S_OK);
  return Hex(stream.bytes());
}

TEST(StreamFormat, EmptyContainers) {
  CIDContainer records;
  EXPECT_EQ(Written(records), "00 00 00 00 00 00 00 00 00 00 00 00");
  CWordToIdsContainer words;
  EXPECT_EQ(Written(words), "00 00 00 00");
}

TEST(StreamFormat, CountedStrings) {
  std::string out;
  PutCountedString(&out, u"ab");
  EXPECT_EQ(Hex(out), "06 00 00 00 61 00 62 00 00 00");
  out.clear();
  PutCountedString(&out, u"");
  EXPECT_EQ(Hex(out), "02 00 00 00 00 00");
  out.clear();
  PutCountedString(&out, u"\U0001F600\u00e9");  // units little-endian
  EXPECT_EQ(Hex(out), "08 00 00 00 3d d8 00 de e9 00 00 00");
}

// An image of `records` (ascending identifiers) and `words` (ascending),
// written through IndexImageWriter; its bytes, or "" when it failed.
struct ImageContent {
  std::vector<std::pair<std::int64_t, CTimeURLContainer>> records;
  std::vector<std::pair<std::u16string, PostingList>> words;
  std::int64_t last_id = 0;
};

const platform::FileIdentity kRecordsFile{10, 11, 12};
const platform::FileIdentity kWordsFile{20, 21, 22};

std::shared_ptr<const IndexImage> WriteAndOpenImage(const ImageContent& content,
                                                    const testing::TempDir& dir,
                                                    std::string* bytes = nullptr) {
  const std::u16string path = (dir / "index.image").u16string();
  IndexImageWriter writer(path);
  for (const auto& [id, record] : content.records) writer.AddRecord(id, record.View());
  for (const auto& [word, postings] : content.words) writer.AddWord(word, postings.View());
  EXPECT_EQ(writer.Finish(content.last_id, kRecordsFile, kWordsFile), S_OK);
  EXPECT_FALSE(std::filesystem::exists(dir / "index.image.saving"));
  if (bytes != nullptr) {
    std::ifstream in(dir / "index.image", std::ios::binary);
    bytes->assign(std::istreambuf_iterator<char>(in), {});
  }
  ImageProblem problem = ImageProblem::kDamaged;
  auto image = IndexImage::Open(path, kRecordsFile, kWordsFile, &problem);
  EXPECT_EQ(problem, ImageProblem::kNone);
  return image;
}

TEST(StreamFormat, ImageOfTwoRecordsAndThreeWords) {
  testing::TempDir dir;
  std::string bytes;
  WriteAndOpenImage({{{1, CTimeURLContainer(5, u"u", u"", u"t")},
                      {2, CTimeURLContainer(6, u"v", u"p", u"")}},
                     {{u"a", {{1, 1}}}, {u"b", {{1, 2}, {2, 1}}}, {u"c", {{2, 3}}}},
                     2},
                    dir, &bytes);
  ASSERT_EQ(bytes.size(), 456u);
  const auto at = [&](std::size_t offset, std::size_t size) {
    return testing::Hex(bytes.substr(offset, size));
  };
  // Magic, version 1, byte-order mark, header size 192, flags, image size.
  EXPECT_EQ(at(0, 32),
            "51 6f 49 6e 66 6f 49 6d 01 00 00 00 04 03 02 01 c0 00 00 00 00 00 00 00 "
            "c8 01 00 00 00 00 00 00");
  // The two files' identities, the last identifier, 2 records, 3 words.
  EXPECT_EQ(at(32, 72),
            "0a 00 00 00 00 00 00 00 0b 00 00 00 00 00 00 00 0c 00 00 00 00 00 00 00 "
            "14 00 00 00 00 00 00 00 15 00 00 00 00 00 00 00 16 00 00 00 00 00 00 00 "
            "02 00 00 00 00 00 00 00 02 00 00 00 00 00 00 00 03 00 00 00 00 00 00 00");
  // Sections (offset, size): texts 192+8, records 200+80, visits 280+32,
  // word data 312+20, words 336+120.
  EXPECT_EQ(at(104, 80),
            "c0 00 00 00 00 00 00 00 08 00 00 00 00 00 00 00 "
            "c8 00 00 00 00 00 00 00 50 00 00 00 00 00 00 00 "
            "18 01 00 00 00 00 00 00 20 00 00 00 00 00 00 00 "
            "38 01 00 00 00 00 00 00 14 00 00 00 00 00 00 00 "
            "50 01 00 00 00 00 00 00 78 00 00 00 00 00 00 00");
  // The record texts: "u", "", "t", then "v", "p", "".
  EXPECT_EQ(at(192, 8), "75 00 74 00 76 00 70 00");
  // Record 1: id, time, its URL at 192, lengths 1, 0, 1.
  EXPECT_EQ(at(200, 40),
            "01 00 00 00 00 00 00 00 05 00 00 00 00 00 00 00 c0 00 00 00 00 00 00 00 "
            "01 00 00 00 00 00 00 00 01 00 00 00 00 00 00 00");
  // Word "b": its unit, its postings (1:2, +1:1), the zero byte, padding.
  EXPECT_EQ(at(318, 8), "62 00 02 02 01 01 00 00");
  // Its entry: text at 318, postings at 320, 1 unit, 4 bytes, 2 postings,
  // the highest identifier 2.
  EXPECT_EQ(at(376, 40),
            "3e 01 00 00 00 00 00 00 40 01 00 00 00 00 00 00 01 00 00 00 04 00 00 00 "
            "02 00 00 00 00 00 00 00 02 00 00 00 00 00 00 00");
  // The CRC-32C of the body and of the header.
  EXPECT_EQ(at(184, 8), "17 f8 66 c8 aa b2 19 5f");
  // FNV-1a over 05 00 00 00 00 00 00 00 75 00.
  EXPECT_EQ(VisitHash(5, u"u"), 0xEF4D80BA90FF4B9Du);
}

TEST(StreamFormat, ImageRoundTrip) {
  PostingList many;
  for (std::int64_t id = 1; id <= 20000; ++id) {
    many.emplace(id * 7 + (id % 5), static_cast<std::int32_t>(id % 9 + 1));
  }
  const ImageContent content{
      {{-4, CTimeURLContainer(-3, u"", u"", u"")},
       {1, CTimeURLContainer(100, u"http://a/", u"", u"")},
       {2, CTimeURLContainer(100, u"http://a/", u"/p", u"T\U0001F600")},
       {7, CTimeURLContainer(200, u"http://b/\U0001F600", u"x", u"y")}},
      {{u"", {{2, 1}}},
       {u"alpha", many},
       {u"beta", {{INT64_MAX, 1}}},
       {u"b\U0001F600", {{-4, 2}, {7, 1}}},  // surrogates sort below U+FFFF
       {u"b\uFFFF", {{1, 3}}}},
      INT64_MAX};
  testing::TempDir dir;
  const auto image = WriteAndOpenImage(content, dir);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->last_id(), INT64_MAX);
  ASSERT_EQ(image->record_count(), content.records.size());
  for (std::size_t i = 0; i < content.records.size(); ++i) {
    EXPECT_EQ(image->RecordIdAt(i), content.records[i].first);
    EXPECT_EQ(CTimeURLContainer(image->RecordAt(i)), content.records[i].second);
    EXPECT_EQ(image->FindRecord(content.records[i].first), i);
  }
  ASSERT_EQ(image->word_count(), content.words.size());
  for (std::size_t i = 0; i < content.words.size(); ++i) {
    EXPECT_EQ(image->WordAt(i), content.words[i].first);
    const PostingsView postings = image->PostingsAt(i);
    EXPECT_TRUE(postings.SameEntries(content.words[i].second.View()));
    EXPECT_EQ(postings.last_id(), content.words[i].second.last_id());
    EXPECT_EQ(std::distance(postings.begin(), postings.end()),
              static_cast<std::ptrdiff_t>(content.words[i].second.size()));
  }
  const struct {
    std::int64_t id;
    std::size_t at;
  } kRecordLookups[] = {{-5, 4}, {0, 4}, {3, 4}, {8, 4}, {INT64_MIN, 4}};
  for (const auto& row : kRecordLookups) EXPECT_EQ(image->FindRecord(row.id), row.at) << row.id;
  const struct {
    std::int64_t time;
    std::u16string url;
    std::vector<std::int64_t> ids;
  } kVisits[] = {{100, u"http://a/", {1, 2}},
                 {-3, u"", {-4}},
                 {200, u"http://b/\U0001F600", {7}},
                 {100, u"http://a", {}},
                 {101, u"http://a/", {}},
                 {200, u"http://B/\U0001F600", {}}};
  for (const auto& row : kVisits) EXPECT_EQ(image->IdsOfVisit(row.time, row.url), row.ids);
  const struct {
    std::u16string word;
    std::size_t lower_bound, found;
  } kWords[] = {{u"", 0, 0},         {u"a", 1, 5},      {u"alpha", 1, 1},
                {u"alphabet", 2, 5}, {u"b", 2, 5},      {u"beta", 2, 2},
                {u"bf", 3, 5},       {u"b\U0001F600", 3, 3},
                {u"b\uFFFF", 4, 4},  {u"c", 5, 5},      {u"\uFFFF", 5, 5}};
  for (const auto& row : kWords) {
    EXPECT_EQ(image->LowerBound(row.word), row.lower_bound);
    EXPECT_EQ(image->FindWord(row.word), row.found);
  }
  // An image of nothing.
  testing::TempDir empty_dir;
  const auto empty = WriteAndOpenImage({}, empty_dir);
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty->record_count() + empty->word_count(), 0u);
  EXPECT_EQ(empty->FindWord(u"a"), 0u);
  EXPECT_TRUE(empty->IdsOfVisit(1, u"a").empty());
}

TEST(StreamFormat, AnImageThatCannotBeWrittenWholeLeavesNoFile) {
  const PostingList one{{1, 1}};
  const struct {
    const char* name;
    std::function<void(IndexImageWriter&)> feed;
  } kCases[] = {
      {"records out of order",
       [](IndexImageWriter& w) {
         w.AddRecord(2, {});
         w.AddRecord(1, {});
       }},
      {"a record after the words",
       [&](IndexImageWriter& w) {
         w.AddWord(u"a", one.View());
         w.AddRecord(1, {});
       }},
      {"words out of order",
       [&](IndexImageWriter& w) {
         w.AddWord(u"b", one.View());
         w.AddWord(u"a", one.View());
       }},
      {"a word twice",
       [&](IndexImageWriter& w) {
         w.AddWord(u"a", one.View());
         w.AddWord(u"a", one.View());
       }},
      {"a word without postings", [](IndexImageWriter& w) { w.AddWord(u"a", {}); }},
  };
  for (const auto& c : kCases) {
    testing::TempDir dir;
    IndexImageWriter writer((dir / "index.image").u16string());
    c.feed(writer);
    EXPECT_EQ(writer.Finish(2, kRecordsFile, kWordsFile), E_INVALIDARG) << c.name;
    EXPECT_TRUE(std::filesystem::is_empty(dir.path())) << c.name;
  }
  testing::TempDir dir;
  IndexImageWriter writer((dir / "missing" / "index.image").u16string());
  EXPECT_TRUE(FAILED(writer.Finish(0, kRecordsFile, kWordsFile)));
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(StreamFormat, OneRecord) {
  CIDContainer records;
  records.AddRecord(CTimeURLContainer(5, u"u", u"", u""));
  EXPECT_EQ(Written(records),
            "01 00 00 00 00 00 00 00 01 00 00 00 01 00 00 00 00 00 00 00 "
            "05 00 00 00 00 00 00 00 04 00 00 00 75 00 00 00 02 00 00 00 "
            "00 00 02 00 00 00 00 00");
}

TEST(StreamFormat, OneWord) {
  CWordToIdsContainer words;
  words.AddWords({{u"ab", 2}}, 1);
  EXPECT_EQ(Written(words),
            "01 00 00 00 01 00 00 00 01 00 00 00 00 00 00 00 02 00 00 00 "
            "06 00 00 00 61 00 62 00 00 00");
}

TEST(StreamFormat, AWordWithoutPagesIsReadButNotWritten) {
  CWordToIdsContainer words;
  words.AddWords({{u"x", 1}}, 3);
  words.RemoveId(3);
  EXPECT_EQ(Written(words), "00 00 00 00");
  // Earlier versions wrote such a word with no identifiers: still sound.
  MemoryStream in(std::string("\x01\0\0\0\0\0\0\0\x04\0\0\0x\0\0\0", 16));
  CWordToIdsContainer read;
  EXPECT_EQ(read.Serialize(&in, true), S_OK);
  EXPECT_EQ(read.GetWords().size(), 1u);
  EXPECT_EQ(Written(read), "00 00 00 00");
}

TEST(StreamFormat, NegativeAndLargeValuesAreTwosComplement) {
  CIDContainer records;
  records.InsertLoaded(1, CTimeURLContainer(-2, u"", u"", u""));
  records.SetLastId(INT64_MAX);
  EXPECT_EQ(Written(records),
            "ff ff ff ff ff ff ff 7f 01 00 00 00 01 00 00 00 00 00 00 00 "
            "fe ff ff ff ff ff ff ff 02 00 00 00 00 00 02 00 00 00 00 00 "
            "02 00 00 00 00 00");
}

TEST(StreamFormat, SizesFollowTheLayout) {
  // 12 + per record 34 + 2 * units; 4 + per word 10 + 12 * ids + 2 * units.
  CIDContainer records;
  records.AddRecord(CTimeURLContainer(1, u"abc", u"de", u"f"));
  records.AddRecord(CTimeURLContainer(2, u"", u"", u""));
  MemoryStream record_stream;
  records.Serialize(&record_stream, false);
  EXPECT_EQ(record_stream.bytes().size(), 12u + 34 + 12 + 34);
  CWordToIdsContainer words;
  words.AddWords({{u"abc", 1}, {u"d", 2}}, 1);
  words.AddWords({{u"abc", 1}}, 2);
  MemoryStream word_stream;
  words.Serialize(&word_stream, false);
  EXPECT_EQ(word_stream.bytes().size(), 4u + (10 + 24 + 6) + (10 + 12 + 2));
}

TEST(StreamFormat, RandomContainersRoundTrip) {
  std::mt19937 rng(7);
  for (int round = 0; round < 50; ++round) {
    CIDContainer records;
    CWordToIdsContainer words;
    // The first round's stream spans many reader buffers, pairs straddling them.
    const int pages = round == 0 ? 12000 : static_cast<int>(rng() % 40);
    for (int p = 0; p < pages; ++p) {
      std::u16string url;
      for (unsigned i = rng() % 30; i > 0; --i) url += static_cast<char16_t>(1 + rng() % 0xFFFE);
      const std::int64_t id = records.AddRecord(
          CTimeURLContainer(static_cast<std::int64_t>(rng()) - (1ll << 31), url,
                            u"p" + url, u"t"));
      WordCountMap counts;
      for (unsigned w = rng() % 8; w > 0; --w) {
        counts[std::u16string(1 + rng() % 4, static_cast<char16_t>(u'a' + rng() % 5))] =
            1 + rng() % 1000;
      }
      words.AddWords(counts, id);
      if (rng() % 5 == 0) {
        words.RemoveId(id);
        records.RemoveRecord(id);
      }
    }
    MemoryStream record_stream, word_stream;
    ASSERT_EQ(records.Serialize(&record_stream, false), S_OK);
    ASSERT_EQ(words.Serialize(&word_stream, false), S_OK);

    MemoryStream record_in(record_stream.bytes()), word_in(word_stream.bytes());
    CIDContainer records_read;
    CWordToIdsContainer words_read;
    ASSERT_EQ(records_read.Serialize(&record_in, true), S_OK);
    ASSERT_EQ(words_read.Serialize(&word_in, true), S_OK);
    EXPECT_EQ(records_read.lastId(), records.lastId());
    EXPECT_EQ(records_read.GetRecords(), records.GetRecords());
    EXPECT_EQ(words_read.GetWords(), words.GetWords());
    // The visit index is rebuilt: stored visits are found again.
    for (const auto& [id, record] : records.GetRecords()) {
      EXPECT_EQ(records_read.FindRecord(record), id);
    }
  }
}

TEST(StreamFormat, FailedWriteIsReported) {
  CWordToIdsContainer words;
  for (int i = 0; i < 5000; ++i) words.AddWords({{u"w" + std::u16string(1, static_cast<char16_t>(i)), 1}}, 1);
  MemoryStream full;
  full.FailWritesBeyond(1000);
  EXPECT_EQ(words.Serialize(&full, false), STG_E_MEDIUMFULL);
}

}  // namespace
}  // namespace qoinfo
