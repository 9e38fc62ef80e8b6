// Golden bytes of the stream layouts and round trips through them.
#include <gtest/gtest.h>

#include <random>

#include "index/id_container.h"
#include "index/word_to_ids_container.h"
#include "tests/support/memory_stream.h"

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
