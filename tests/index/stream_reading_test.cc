// Reading malformed streams: every truncation point, corrupted lengths and
// counts. Reading never crashes, never allocates from an unchecked count,
// stops at the first malformed element, keeps what came before it, and
// names the byte offset of the damage.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>

#include "index/crc32c.h"
#include "index/id_container.h"
#include "index/index_image.h"
#include "index/word_to_ids_container.h"
#include "tests/support/memory_stream.h"
#include "tests/support/temp_dir.h"

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

// An index image, as the writer makes it, and the identities it names.
struct ImageFile {
  testing::TempDir dir;
  std::filesystem::path path = dir / "index.image";
  platform::FileIdentity records_file{100, 1, 7};
  platform::FileIdentity words_file{200, 2, 8};
  std::string bytes;

  ImageFile() {
    IndexImageWriter writer(path.u16string());
    writer.AddRecord(1, {5, u"http://a/", u"/a", u"Title A"});
    writer.AddRecord(2, {6, u"http://b/", u"", u"B"});
    PostingList postings{{1, 2}, {2, 1}};
    writer.AddWord(u"alpha", postings.View());
    writer.AddWord(u"beta", postings.View());
    EXPECT_EQ(writer.Finish(2, records_file, words_file), S_OK);
    std::ifstream in(path, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), {});
  }
  // Where the header says a section starts (0: the record texts).
  std::size_t Section(int section) const {
    std::uint64_t offset = 0;
    std::memcpy(&offset, bytes.data() + 104 + 16 * section, 8);
    return static_cast<std::size_t>(offset);
  }
  ImageProblem Open(const std::string& content) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
    ImageProblem problem = ImageProblem::kNone;
    EXPECT_EQ(IndexImage::Open(path.u16string(), records_file, words_file, &problem),
              nullptr);
    return problem;
  }
};

std::string Flipped(std::string bytes, std::size_t at) {
  bytes[at] = static_cast<char>(bytes[at] ^ 0x10);
  return bytes;
}

TEST(StreamReading, UnusableImages) {
  ImageFile image;
  const std::string& good = image.bytes;
  std::string other_version = good;
  other_version[8] = 2;
  std::string swapped = good;
  std::reverse(swapped.begin() + 12, swapped.begin() + 16);
  const struct {
    const char* name;
    std::string bytes;
    ImageProblem problem;
  } kCases[] = {
      {"empty", "", ImageProblem::kTruncated},
      {"cut in the header", good.substr(0, 100), ImageProblem::kTruncated},
      {"cut after the header", good.substr(0, 192), ImageProblem::kTruncated},
      {"cut in the word data", good.substr(0, image.Section(3) + 3), ImageProblem::kTruncated},
      {"cut by one byte", good.substr(0, good.size() - 1), ImageProblem::kTruncated},
      {"a byte more", good + '\0', ImageProblem::kDamaged},
      {"another magic", Flipped(good, 2), ImageProblem::kNotAnImage},
      {"version + 1", other_version, ImageProblem::kOtherVersion},
      {"byte order swapped", swapped, ImageProblem::kOtherByteOrder},
      {"flipped record count", Flipped(good, 88), ImageProblem::kDamaged},
      {"flipped header checksum", Flipped(good, 190), ImageProblem::kDamaged},
      {"flipped URL", Flipped(good, image.Section(0) + 2), ImageProblem::kDamaged},
      {"flipped record table", Flipped(good, image.Section(1) + 8), ImageProblem::kDamaged},
      {"flipped visit table", Flipped(good, image.Section(2)), ImageProblem::kDamaged},
      {"flipped postings", Flipped(good, image.Section(3) + 10), ImageProblem::kDamaged},
      {"flipped word table", Flipped(good, image.Section(4) + 20), ImageProblem::kDamaged},
      {"flipped last byte", Flipped(good, good.size() - 1), ImageProblem::kDamaged},
  };
  for (const auto& c : kCases) EXPECT_EQ(image.Open(c.bytes), c.problem) << c.name;

  // Images of other index files: each identity counts.
  image.records_file.modified += 1;
  EXPECT_EQ(image.Open(good), ImageProblem::kOtherPair);
  image.records_file.modified -= 1;
  image.words_file.file_id += 1;
  EXPECT_EQ(image.Open(good), ImageProblem::kOtherPair);
  image.words_file.file_id -= 1;

  ImageProblem problem = ImageProblem::kNone;
  EXPECT_NE(IndexImage::Open(image.path.u16string(), image.records_file, image.words_file,
                             &problem),
            nullptr);
  const std::u16string missing = (image.dir / "none").u16string();
  EXPECT_EQ(IndexImage::Open(missing, image.records_file, image.words_file, &problem), nullptr);
  EXPECT_EQ(problem, ImageProblem::kMissing);
  // A symbolic link to a good image is not followed.
  std::error_code error;
  std::filesystem::create_symlink(image.path, image.dir / "link", error);
  if (!error) {
    EXPECT_EQ(IndexImage::Open((image.dir / "link").u16string(), image.records_file,
                               image.words_file, &problem),
              nullptr);
    EXPECT_EQ(problem, ImageProblem::kUnreadable);
  }
}

// Tables changed by hand with both checksums made to hold again: what the
// accessors follow stays inside the image.
TEST(StreamReading, ImageTablesMadeByHandAreReadInBounds) {
  ImageFile image;
  std::string bytes = image.bytes;
  const std::size_t words = image.Section(4);
  const std::size_t records = image.Section(1);
  bytes[records + 16] = '\x7f';                 // the URL's offset
  bytes[words + 16] = '\x40';                   // a word's length
  bytes[words + 40 + 20] = '\x03';              // postings cut inside an entry
  const std::uint32_t body = Crc32c(std::string_view(bytes).substr(192));
  std::memcpy(bytes.data() + 184, &body, 4);
  const std::uint32_t header = Crc32c(std::string_view(bytes).substr(0, 188));
  std::memcpy(bytes.data() + 188, &header, 4);
  std::ofstream(image.path, std::ios::binary | std::ios::trunc) << bytes;
  ImageProblem problem = ImageProblem::kDamaged;
  const auto opened =
      IndexImage::Open(image.path.u16string(), image.records_file, image.words_file, &problem);
  ASSERT_NE(opened, nullptr);
  EXPECT_TRUE(opened->RecordAt(0).url.empty());
  EXPECT_EQ(opened->RecordAt(1).title, u"B");
  EXPECT_TRUE(opened->WordAt(0).empty());
  EXPECT_TRUE(opened->PostingsAt(1).empty());
  EXPECT_EQ(opened->PostingsAt(0).size(), 2u);
}

}  // namespace
}  // namespace qoinfo
