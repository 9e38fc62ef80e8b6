// The change journal: its byte layout, replay of what was appended, and
// every way its tail can be torn or damaged.
#include "index/change_journal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <vector>

#include "index/crc32c.h"
#include "tests/support/temp_dir.h"

namespace qoinfo {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

PageChange Added(std::int64_t time, std::u16string url, WordCountMap words) {
  PageChange change;
  change.record = CTimeURLContainer(time, std::move(url), u"p", u"T");
  change.words = std::move(words);
  return change;
}

PageChange Removed(std::int64_t time, std::u16string url) {
  PageChange change;
  change.kind = PageChange::Kind::kPageRemoved;
  change.record = CTimeURLContainer(time, std::move(url), u"", u"");
  return change;
}

std::vector<PageChange> Replay(const TempDir& dir, JournalReplay* result) {
  std::vector<PageChange> seen;
  *result = ReplayJournal((dir / "index.journal").u16string(),
                          [&](const PageChange& c) { seen.push_back(c); });
  return seen;
}

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

bool Same(const PageChange& a, const PageChange& b) {
  return a.kind == b.kind && a.record.SameVisitAs(b.record) &&
         (a.kind == PageChange::Kind::kPageRemoved ||
          (a.record == b.record && a.words == b.words));
}

TEST(ChangeJournal, RecordLayout) {
  std::string bytes;
  EncodeJournalRecord(Removed(5, u"u"), &bytes);
  // length 17, CRC-32C of the payload, kind 2, time 5, "u" counted.
  const std::string payload("\x02\x05\0\0\0\0\0\0\0\x04\0\0\0u\0\0\0", 17);
  ASSERT_EQ(bytes.size(), 8 + payload.size());
  EXPECT_EQ(bytes.substr(0, 4), std::string("\x11\0\0\0", 4));
  const std::uint32_t crc = Crc32c(payload);
  EXPECT_EQ(bytes.substr(4, 4), std::string({static_cast<char>(crc), static_cast<char>(crc >> 8),
                                             static_cast<char>(crc >> 16),
                                             static_cast<char>(crc >> 24)}));
  EXPECT_EQ(bytes.substr(8), payload);

  bytes.clear();
  EncodeJournalRecord(Added(-1, u"", {{u"ab", 3}}), &bytes);
  const std::string added(
      "\x01\xff\xff\xff\xff\xff\xff\xff\xff"  // kind, time -1
      "\x02\0\0\0\0\0"                       // url ""
      "\x04\0\0\0p\0\0\0"                    // path "p"
      "\x04\0\0\0T\0\0\0"                    // title "T"
      "\x01\0\0\0"                           // one word
      "\x06\0\0\0a\0b\0\0\0\x03\0\0\0",      // "ab" x 3
      49);
  EXPECT_EQ(bytes.substr(8), added);
}

TEST(ChangeJournal, Crc32cOfTheStandardCheckString) {
  EXPECT_EQ(Crc32c("123456789"), 0xE3069283u);
}

TEST(ChangeJournal, WhatWasAppendedIsReplayedInOrder) {
  TempDir dir;
  const std::vector<PageChange> changes = {
      Added(1, u"http://a/", {{u"alpha", 2}, {u"\u00e9t\u00e9", 1}}),
      Added(2, u"http://b/\U0001F600", {}), Removed(1, u"http://a/")};
  {
    ChangeJournal journal;
    ASSERT_EQ(journal.Open((dir / "index.journal").u16string(), 0), S_OK);
    for (const PageChange& c : changes) ASSERT_EQ(journal.Append(c), S_OK);
    EXPECT_EQ(journal.pending(), 3u);
  }
  JournalReplay result;
  const std::vector<PageChange> seen = Replay(dir, &result);
  ASSERT_EQ(seen.size(), changes.size());
  for (std::size_t i = 0; i < seen.size(); ++i) EXPECT_TRUE(Same(seen[i], changes[i])) << i;
  EXPECT_FALSE(result.damaged);
  EXPECT_EQ(result.valid_bytes, fs::file_size(dir / "index.journal"));
}

// Every cut of a journal replays the whole records before the cut; a cut
// inside a record is reported, and reopening drops the torn bytes so that
// the next record follows the sound ones.
TEST(ChangeJournal, EveryTornTailIsDroppedAndReported) {
  TempDir source;
  {
    ChangeJournal journal;
    ASSERT_EQ(journal.Open((source / "index.journal").u16string(), 0), S_OK);
    ASSERT_EQ(journal.Append(Added(1, u"a", {{u"x", 1}})), S_OK);
    ASSERT_EQ(journal.Append(Removed(1, u"a")), S_OK);
  }
  const std::string whole = ReadAll(source / "index.journal");
  std::vector<std::size_t> boundaries = {0, kJournalHeaderBytes};
  {
    std::size_t at = kJournalHeaderBytes;
    for (std::size_t i = 0; i < 2; ++i) {
      std::uint32_t length = static_cast<unsigned char>(whole[at]);
      at += kJournalFrameBytes + length;
      boundaries.push_back(at);
    }
    ASSERT_EQ(at, whole.size());
  }
  for (std::size_t cut = 0; cut <= whole.size(); ++cut) {
    TempDir dir;
    std::ofstream(dir / "index.journal", std::ios::binary) << whole.substr(0, cut);
    JournalReplay result;
    const std::size_t replayed = Replay(dir, &result).size();
    std::size_t whole_records = 0;
    while (whole_records + 2 < boundaries.size() &&
           boundaries[whole_records + 2] <= cut) {
      ++whole_records;
    }
    EXPECT_EQ(replayed, whole_records) << cut;
    const bool on_boundary =
        std::find(boundaries.begin(), boundaries.end(), cut) != boundaries.end();
    EXPECT_EQ(result.damaged, !on_boundary) << cut;
    EXPECT_EQ(!result.damaged_copy.empty(), !on_boundary) << cut;
    ChangeJournal journal;
    ASSERT_EQ(journal.Open((dir / "index.journal").u16string(), result.valid_bytes), S_OK);
    ASSERT_EQ(journal.Append(Removed(9, u"z")), S_OK);
    journal.Close();
    const std::vector<PageChange> after = Replay(dir, &result);
    EXPECT_FALSE(result.damaged) << cut;
    ASSERT_EQ(after.size(), whole_records + 1) << cut;
    EXPECT_TRUE(Same(after.back(), Removed(9, u"z"))) << cut;
  }
}

TEST(ChangeJournal, DamageStopsTheReplayThere) {
  TempDir dir;
  {
    ChangeJournal journal;
    ASSERT_EQ(journal.Open((dir / "index.journal").u16string(), 0), S_OK);
    for (int i = 0; i < 3; ++i) ASSERT_EQ(journal.Append(Removed(i, u"u")), S_OK);
  }
  std::string bytes = ReadAll(dir / "index.journal");
  const std::size_t record = (bytes.size() - kJournalHeaderBytes) / 3;
  bytes[kJournalHeaderBytes + record + kJournalFrameBytes + 3] ^= 0x40;
  std::ofstream(dir / "index.journal", std::ios::binary) << bytes;
  JournalReplay result;
  EXPECT_EQ(Replay(dir, &result).size(), 1u);
  EXPECT_TRUE(result.damaged);
  EXPECT_NE(result.problem.find("checksum"), std::string::npos);
  EXPECT_EQ(ReadAll(fs::path(result.damaged_copy)), bytes);

  std::ofstream(dir / "index.journal", std::ios::binary) << "not a journal at all";
  EXPECT_TRUE(Replay(dir, &result).empty());
  EXPECT_EQ(result.valid_bytes, 0u);
  EXPECT_TRUE(result.damaged);
}

TEST(ChangeJournal, ClearKeepsOnlyTheHeader) {
  TempDir dir;
  ChangeJournal journal;
  ASSERT_EQ(journal.Open((dir / "index.journal").u16string(), 0), S_OK);
  ASSERT_EQ(journal.Append(Removed(1, u"u")), S_OK);
  ASSERT_EQ(journal.Clear(), S_OK);
  EXPECT_EQ(journal.size(), kJournalHeaderBytes);
  EXPECT_EQ(journal.pending(), 0u);
  JournalReplay result;
  EXPECT_TRUE(Replay(dir, &result).empty());
  EXPECT_FALSE(result.damaged);
}

}  // namespace
}  // namespace qoinfo
