#include "index/id_container.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "platform/utf8.h"

namespace qoinfo {
namespace {

CTimeURLContainer Visit(std::int64_t time, std::u16string url,
                        std::u16string path = u"", std::u16string title = u"") {
  return CTimeURLContainer(time, std::move(url), std::move(path),
                           std::move(title));
}

TEST(CIDContainer, IssuesIdentifiersFromOneUpward) {
  CIDContainer ids;
  EXPECT_EQ(ids.lastId(), 0);
  EXPECT_EQ(ids.AddRecord(Visit(1, u"http://a")), 1);
  EXPECT_EQ(ids.AddRecord(Visit(2, u"http://a")), 2);  // same URL, new time
  EXPECT_EQ(ids.AddRecord(Visit(1, u"http://A")), 3);  // URLs are case-sensitive
  EXPECT_EQ(ids.AddRecord(Visit(1, u"http://b")), 4);
  EXPECT_EQ(ids.lastId(), 4);
  EXPECT_EQ(ids.GetRecords().size(), 4u);
}

TEST(CIDContainer, SameVisitKeepsItsIdentifierAndFirstRecord) {
  CIDContainer ids;
  ASSERT_EQ(ids.AddRecord(Visit(7, u"u", u"p1", u"t1")), 1);
  EXPECT_EQ(ids.AddRecord(Visit(7, u"u", u"p2", u"t2")), 1);
  EXPECT_EQ(ids.lastId(), 1);
  EXPECT_EQ(ids.GetRecords().at(1), Visit(7, u"u", u"p1", u"t1"));
}

TEST(CIDContainer, FindRecordMatchesTimeAndUrlOnly) {
  CIDContainer ids;
  ids.AddRecord(Visit(1, u"a", u"p", u"t"));
  ids.AddRecord(Visit(2, u"b"));
  EXPECT_EQ(ids.FindRecord(Visit(2, u"b", u"other", u"other")), 2);
  EXPECT_EQ(ids.FindRecord(Visit(1, u"b")), 0);
  EXPECT_EQ(ids.FindRecord(Visit(3, u"c")), 0);
  EXPECT_EQ(ids.GetRecords().size(), 2u);
}

TEST(CIDContainer, FindRecordAnswersLowestOfEqualRecords) {
  // Equal visits can only come from a file; the lowest identifier wins, as a
  // scan from the smallest identifier would find.
  CIDContainer ids;
  ids.InsertLoaded(9, Visit(5, u"dup"));
  ids.InsertLoaded(4, Visit(5, u"dup"));
  ids.InsertLoaded(6, Visit(5, u"dup"));
  ids.SetLastId(9);
  EXPECT_EQ(ids.FindRecord(Visit(5, u"dup")), 4);
  EXPECT_EQ(ids.AddRecord(Visit(5, u"dup")), 4);
  EXPECT_TRUE(ids.RemoveRecord(4));
  EXPECT_EQ(ids.FindRecord(Visit(5, u"dup")), 6);
}

TEST(CIDContainer, RemoveRecordRules) {
  CIDContainer ids;
  ids.AddRecord(Visit(1, u"a"));
  ids.AddRecord(Visit(2, u"b"));
  EXPECT_FALSE(ids.RemoveRecord(0));
  EXPECT_FALSE(ids.RemoveRecord(-1));
  EXPECT_FALSE(ids.RemoveRecord(3));
  EXPECT_TRUE(ids.RemoveRecord(2));
  EXPECT_FALSE(ids.RemoveRecord(2));
  EXPECT_EQ(ids.lastId(), 2);
  EXPECT_EQ(ids.FindRecord(Visit(2, u"b")), 0);
  // Identifiers are never reused.
  EXPECT_EQ(ids.AddRecord(Visit(2, u"b")), 3);
}

TEST(CIDContainer, CounterAtItsLimitIssuesNothing) {
  CIDContainer ids;
  ids.SetLastId(CIDContainer::kMaxId - 1);
  EXPECT_EQ(ids.AddRecord(Visit(1, u"a")), CIDContainer::kMaxId);
  EXPECT_EQ(ids.AddRecord(Visit(2, u"b")), 0);
  EXPECT_EQ(ids.lastId(), CIDContainer::kMaxId);
  EXPECT_EQ(ids.GetRecords().size(), 1u);
  // A stored visit is still found at the limit.
  EXPECT_EQ(ids.AddRecord(Visit(1, u"a")), CIDContainer::kMaxId);
}

TEST(CIDContainer, NegativeCounterNeverIssuesNonPositiveIdentifiers) {
  CIDContainer ids;
  ids.SetLastId(-5);
  EXPECT_EQ(ids.AddRecord(Visit(1, u"a")), 1);
}

TEST(CIDContainer, LaggingCounterSkipsIdentifiersInUse) {
  // A file whose counter is below its highest identifier must not make a new
  // page share an identifier (and so the words) of a stored one.
  CIDContainer ids;
  ids.InsertLoaded(1, Visit(1, u"a"));
  ids.InsertLoaded(2, Visit(2, u"b"));
  ids.SetLastId(0);
  EXPECT_EQ(ids.AddRecord(Visit(3, u"c")), 3);
  EXPECT_EQ(ids.GetRecords().at(1), Visit(1, u"a"));
}

TEST(CIDContainer, CopiesAreIndependent) {
  CIDContainer ids;
  ids.AddRecord(Visit(1, u"a"));
  CIDContainer copy;
  copy = ids;
  ids.AddRecord(Visit(2, u"b"));
  ids.RemoveRecord(1);
  EXPECT_EQ(copy.lastId(), 1);
  EXPECT_EQ(copy.FindRecord(Visit(1, u"a")), 1);
  EXPECT_EQ(copy.FindRecord(Visit(2, u"b")), 0);
  EXPECT_EQ(ids.GetRecords().size(), 1u);
  copy = copy;  // self-assignment keeps everything
  EXPECT_EQ(copy.GetRecords().size(), 1u);
}

TEST(CIDContainer, AgreesWithLinearScanOnRandomOperations) {
  // The visit index must answer what a scan of the record map answers.
  std::mt19937 rng(12345);
  CIDContainer ids;
  for (int step = 0; step < 20000; ++step) {
    const CTimeURLContainer v =
        Visit(rng() % 30, u"u" + std::u16string(1, u'a' + rng() % 20));
    std::int64_t scanned = 0;
    for (const auto& [id, record] : ids.GetRecords()) {
      if (record.SameVisitAs(v)) {
        scanned = id;
        break;
      }
    }
    switch (rng() % 3) {
      case 0:
        ASSERT_EQ(ids.FindRecord(v), scanned);
        break;
      case 1: {
        const std::int64_t before = ids.lastId();
        const std::int64_t id = ids.AddRecord(v);
        ASSERT_EQ(id, scanned != 0 ? scanned : before + 1);
        break;
      }
      default:
        ASSERT_EQ(ids.RemoveRecord(scanned), scanned != 0);
    }
  }
}

}  // namespace
}  // namespace qoinfo

namespace qoinfo {
namespace {

// What a snapshot finds for a page: its URL, or "-" for no record.
std::string Seen(const RecordSnapshot& snapshot, std::int64_t id) {
  std::string url = "-";
  snapshot.Visit(id, [&](const CTimeURLContainer& record) {
    url = platform::Utf16ToUtf8(record.m_url);
  });
  return url;
}

TEST(RecordSnapshots, SeeTheRecordsAsTheyWereWhenTaken) {
  CIDContainer ids;
  ids.AddRecord(Visit(1, u"a"));  // 1
  ids.AddRecord(Visit(2, u"b"));  // 2
  auto first = ids.Snapshot();
  ids.RemoveRecord(1);
  ids.AddRecord(Visit(3, u"c"));  // 3
  const auto second = ids.Snapshot();
  ids.RemoveRecord(2);
  // A counter lagging behind (as a damaged file may leave it) reissues a
  // removed identifier: to the snapshots it is another page.
  ids.SetLastId(0);
  EXPECT_EQ(ids.AddRecord(Visit(4, u"d")), 1);
  const auto third = ids.Snapshot();
  EXPECT_EQ(Seen(*first, 1) + Seen(*first, 2) + Seen(*first, 3), "ab-");
  EXPECT_EQ(Seen(*second, 1) + Seen(*second, 2) + Seen(*second, 3), "-bc");
  EXPECT_EQ(Seen(*third, 1) + Seen(*third, 2) + Seen(*third, 3), "d-c");
  // Closing the oldest prunes only what no open snapshot needs.
  first.reset();
  EXPECT_EQ(Seen(*second, 1) + Seen(*second, 2) + Seen(*second, 3), "-bc");
  EXPECT_EQ(Seen(*third, 1) + Seen(*third, 2) + Seen(*third, 3), "d-c");
  first = ids.Snapshot();
  // Replacing the records wholesale leaves every snapshot as it was.
  ids = CIDContainer();
  EXPECT_EQ(Seen(*first, 1) + Seen(*second, 2) + Seen(*third, 1), "dbd");
  EXPECT_TRUE(ids.Snapshot()->empty());
  EXPECT_FALSE(first->empty());
}

}  // namespace
}  // namespace qoinfo
