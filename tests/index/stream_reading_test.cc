// Reading malformed streams: every truncation point, corrupted lengths and
// counts. Reading never crashes, never allocates from an unchecked count,
// stops at the first malformed element, keeps what came before it, and
// names the byte offset of the damage.
#include <gtest/gtest.h>

#include "index/id_container.h"
#include "index/word_to_ids_container.h"
#include "tests/support/memory_stream.h"

namespace qoinfo {
namespace {

using testing::MemoryStream;

std::string FromHex(const std::string& hex) {
  std::string out;
  for (std::size_t i = 0; i + 1 < hex.size();) {
    if (hex[i] == ' ') {
      ++i;
      continue;
    }
    out.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    i += 2;
  }
  return out;
}

std::string RecordsBytes() {
  CIDContainer records;
  records.AddRecord(CTimeURLContainer(5, u"http://a", u"p", u"Title A"));
  records.AddRecord(CTimeURLContainer(6, u"http://b", u"", u"B"));
  MemoryStream stream;
  records.Serialize(&stream, false);
  return stream.bytes();
}

std::string WordsBytes() {
  CWordToIdsContainer words;
  words.AddWords({{u"alpha", 2}, {u"beta", 1}}, 1);
  words.AddWords({{u"beta", 3}}, 2);
  MemoryStream stream;
  words.Serialize(&stream, false);
  return stream.bytes();
}

TEST(StreamReading, EveryTruncationOfARecordStream) {
  const std::string full = RecordsBytes();
  // Record 1 ends after 12 + 8 + (8 + 18 + 4 + 4 + 4 + 16) bytes.
  const std::size_t first_record_end = 12 + 8 + 8 + (4 + 18) + (4 + 4) + (4 + 16);
  for (std::size_t cut = 0; cut < full.size(); ++cut) {
    MemoryStream stream(full.substr(0, cut));
    CIDContainer records;
    StreamProblem problem;
    ASSERT_EQ(records.Serialize(&stream, true, &problem), kIndexStreamDamaged) << cut;
    EXPECT_TRUE(problem.found);
    EXPECT_LE(problem.offset, cut);
    EXPECT_EQ(records.lastId(), cut >= 8 ? 2 : 0) << cut;
    EXPECT_EQ(records.GetRecords().size(), cut >= first_record_end ? 1u : 0u) << cut;
  }
  MemoryStream whole(full);
  CIDContainer records;
  EXPECT_EQ(records.Serialize(&whole, true), S_OK);
  EXPECT_EQ(records.GetRecords().size(), 2u);
}

TEST(StreamReading, EveryTruncationOfAWordStream) {
  const std::string full = WordsBytes();
  const std::size_t first_word_end = 4 + 4 + 12 + (4 + 12);  // "alpha"
  for (std::size_t cut = 0; cut < full.size(); ++cut) {
    MemoryStream stream(full.substr(0, cut));
    CWordToIdsContainer words;
    StreamProblem problem;
    ASSERT_EQ(words.Serialize(&stream, true, &problem), kIndexStreamDamaged) << cut;
    EXPECT_LE(problem.offset, cut);
    EXPECT_EQ(words.GetWords().size(), cut >= first_word_end ? 1u : 0u) << cut;
  }
}

struct DamageCase {
  const char* name;
  const char* hex;      // a record stream (R) or word stream (W), see kind
  char kind;
  std::uint64_t offset;  // where the damage is reported
  const char* what;      // a part of the description
  std::size_t kept;      // entries read before the damage
};

const DamageCase kDamageCases[] = {
    {"odd string length", "01 00 00 00 00 00 00 00 01 00 00 00 01 00 00 00 00 00 00 00 "
     "05 00 00 00 00 00 00 00 05 00 00 00 75 00 00 00 00", 'R', 28, "invalid length 5", 0},
    {"string length one", "01 00 00 00 00 00 00 00 01 00 00 00 01 00 00 00 00 00 00 00 "
     "05 00 00 00 00 00 00 00 01 00 00 00 00", 'R', 28, "invalid length 1", 0},
    {"string longer than the stream", "01 00 00 00 00 00 00 00 01 00 00 00 01 00 00 00 00 00 00 00 "
     "05 00 00 00 00 00 00 00 f0 ff ff ff 75 00 00 00", 'R', 28, "runs past the end", 0},
    {"missing terminator", "01 00 00 00 00 00 00 00 01 00 00 00 01 00 00 00 00 00 00 00 "
     "05 00 00 00 00 00 00 00 04 00 00 00 75 00 76 00 02 00 00 00 00 00 02 00 00 00 00 00",
     'R', 28, "missing terminator", 0},
    {"record count beyond the data", "02 00 00 00 00 00 00 00 e8 03 00 00 "
     "01 00 00 00 00 00 00 00 05 00 00 00 00 00 00 00 02 00 00 00 00 00 02 00 00 00 00 00 "
     "02 00 00 00 00 00", 'R', 46, "record identifier", 1},
    {"bytes after the last record", "00 00 00 00 00 00 00 00 00 00 00 00 ee", 'R', 12,
     "1 bytes after", 0},
    {"identifiers out of order", "02 00 00 00 00 00 00 00 02 00 00 00 "
     "02 00 00 00 00 00 00 00 05 00 00 00 00 00 00 00 02 00 00 00 00 00 02 00 00 00 00 00 "
     "02 00 00 00 00 00 "
     "01 00 00 00 00 00 00 00 05 00 00 00 00 00 00 00 02 00 00 00 00 00 02 00 00 00 00 00 "
     "02 00 00 00 00 00", 'R', 46, "out of order", 2},
    {"identifier count beyond the data", "01 00 00 00 ff ff ff 7f 01 00 00 00", 'W', 4,
     "identifiers run past", 0},
    {"word count beyond the data", "05 00 00 00 00 00 00 00 04 00 00 00 78 00 00 00", 'W',
     16, "identifier count", 1},
    {"identifiers out of order in a word", "01 00 00 00 02 00 00 00 05 00 00 00 00 00 00 00 "
     "01 00 00 00 03 00 00 00 00 00 00 00 01 00 00 00 04 00 00 00 78 00 00 00", 'W', 20,
     "identifier 3 out of order", 1},
    {"occurrence count below one", "01 00 00 00 01 00 00 00 01 00 00 00 00 00 00 00 "
     "00 00 00 00 04 00 00 00 78 00 00 00", 'W', 8, "below 1", 1},
    {"words out of order", "02 00 00 00 00 00 00 00 04 00 00 00 79 00 00 00 "
     "00 00 00 00 04 00 00 00 78 00 00 00", 'W', 16, "word out of order", 2},
};

TEST(StreamReading, DamageTable) {
  for (const DamageCase& c : kDamageCases) {
    MemoryStream stream(FromHex(c.hex));
    StreamProblem problem;
    std::size_t kept;
    HRESULT hr;
    if (c.kind == 'R') {
      CIDContainer records;
      hr = records.Serialize(&stream, true, &problem);
      kept = records.GetRecords().size();
    } else {
      CWordToIdsContainer words;
      hr = words.Serialize(&stream, true, &problem);
      kept = words.GetWords().size();
    }
    EXPECT_EQ(hr, kIndexStreamDamaged) << c.name;
    EXPECT_EQ(problem.offset, c.offset) << c.name << ": " << problem.what;
    EXPECT_NE(problem.what.find(c.what), std::string::npos) << c.name << ": " << problem.what;
    EXPECT_EQ(kept, c.kept) << c.name;
  }
}

TEST(StreamReading, AbsentStringReadsAsEmpty) {
  // L = 0 stands for an absent string; the containers hold it as "".
  MemoryStream stream(FromHex(
      "01 00 00 00 00 00 00 00 01 00 00 00 01 00 00 00 00 00 00 00 "
      "05 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"));
  CIDContainer records;
  EXPECT_EQ(records.Serialize(&stream, true), S_OK);
  EXPECT_EQ(records.GetRecords().at(1), CTimeURLContainer(5, u"", u"", u""));
}

TEST(StreamReading, StringIsTakenUpToItsFirstNul) {
  MemoryStream stream(FromHex("01 00 00 00 00 00 00 00 08 00 00 00 61 00 00 00 62 00 00 00"));
  CWordToIdsContainer words;
  EXPECT_EQ(words.Serialize(&stream, true), S_OK);
  EXPECT_EQ(words.GetWords().count(u"a"), 1u);
}

TEST(StreamReading, DuplicatesKeepTheFirst) {
  // Two entries under identifier 1 and two for word "x": the first stays.
  MemoryStream records_stream(FromHex(
      "01 00 00 00 00 00 00 00 02 00 00 00 "
      "01 00 00 00 00 00 00 00 05 00 00 00 00 00 00 00 04 00 00 00 61 00 00 00 "
      "02 00 00 00 00 00 02 00 00 00 00 00 "
      "01 00 00 00 00 00 00 00 06 00 00 00 00 00 00 00 04 00 00 00 62 00 00 00 "
      "02 00 00 00 00 00 02 00 00 00 00 00"));
  CIDContainer records;
  EXPECT_EQ(records.Serialize(&records_stream, true), kIndexStreamDamaged);
  EXPECT_EQ(records.GetRecords().at(1).m_url, u"a");
}

TEST(StreamReading, ReadingAddsToWhatTheContainerHolds) {
  CIDContainer records;
  records.AddRecord(CTimeURLContainer(1, u"kept", u"", u""));
  MemoryStream stream(FromHex("09 00 00 00 00 00 00 00 00 00 00 00"));
  EXPECT_EQ(records.Serialize(&stream, true), S_OK);
  EXPECT_EQ(records.lastId(), 9);
  EXPECT_EQ(records.GetRecords().size(), 1u);
}

TEST(StreamReading, FlippedBitsNeverCrash) {
  // Every single-bit flip of both streams reads to some end.
  for (const std::string& original : {RecordsBytes(), WordsBytes()}) {
    for (std::size_t bit = 0; bit < original.size() * 8; ++bit) {
      std::string bytes = original;
      bytes[bit / 8] = static_cast<char>(bytes[bit / 8] ^ (1 << (bit % 8)));
      MemoryStream a(bytes), b(bytes);
      CIDContainer records;
      CWordToIdsContainer words;
      records.Serialize(&a, true);
      words.Serialize(&b, true);
    }
  }
}

}  // namespace
}  // namespace qoinfo
