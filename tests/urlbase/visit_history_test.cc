// The history itself: visits added, counted, found, read back through
// GetData and walked in index order; what is kept across reopening; the
// answers to bad input; the object's COM identity.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cctype>
#include <cstdint>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "com/module_lock.h"
#include "platform/file_system.h"
#include "platform/utf8.h"
#include "tests/urlbase/url_base_test_support.h"

namespace qoinfo {
namespace {

using testing::Add;
using testing::Bstr;
using testing::ComPtr;
using testing::Open;
using testing::Read;
using testing::ReadVisit;
using testing::TempDir;
using testing::UrlBaseTest;

struct VisitRow {
  const char* name;
  std::int64_t time;
  std::u16string url, path, title;
};

void PrintTo(const VisitRow& row, std::ostream* out) { *out << row.name; }

const VisitRow kVisits[] = {
    {"ascii", 1, u"http://example.com/", u"C:\\cache\\a.html", u"Example"},
    {"quotes", 2, u"http://example.com/?q=\"it's\"", u"/tmp/'x'\"y\".html",
     u"He said \"don't\"; DROP TABLE visits; --"},
    {"german", 3, u"https://de.example/Stra\u00dfe?\u00e4=\u00fc",
     u"/home/j\u00fcrgen/\u00f6.html", u"Gr\u00fc\u00dfe aus K\u00f6ln"},
    {"greek_russian", 4,
     u"http://\u03b5\u03bb.example/\u03a3\u03bf\u03c6\u03af\u03b1", u"",
     u"\u041f\u0440\u0438\u0432\u0435\u0442, \u043c\u0438\u0440"},
    {"cjk", 5, u"http://\u4f8b\u3048.jp/\u65e5\u672c\u8a9e", u"\u6587\u4ef6",
     u"\u4e2d\u6587\u6807\u9898 \ud55c\uad6d\uc5b4"},
    {"arabic_hebrew", 6, u"http://example.com/\u0645\u0631\u062d\u0628\u0627",
     u"\u05e9\u05dc\u05d5\u05dd",
     u"\u0639\u0631\u0628\u064a \u05e2\u05d1\u05e8\u05d9\u05ea"},
    {"supplementary", 7, u"http://example.com/\U0001F600", u"\U00010348",
     u"emoji \U0001F389 and \U0002070E"},
    {"embedded_nul", 8, std::u16string(u"http://a/\0b", 11),
     std::u16string(u"p\0q", 3), std::u16string(u"t\0", 2)},
    {"lone_surrogates", 9, u"http://example.com/\xD800x", u"\xDC00",
     u"end\xD83D"},
    {"negative_time", -1234567890123456789, u"file:///x", u"", u""},
    {"extreme_time", INT64_MAX, u"file:///y", u"p", u"t"},
};

class RoundTrip : public UrlBaseTest,
                  public ::testing::WithParamInterface<VisitRow> {};

TEST_P(RoundTrip, GetDataGivesBackWhatWasAdded) {
  const VisitRow& row = GetParam();
  ULONG index = 0;
  ASSERT_EQ(Add(base_.get(), row.time, row.url, row.path, row.title, &index),
            S_OK);
  EXPECT_EQ(index, 1u);
  ReadVisit visit;
  ASSERT_EQ(Read(base_.get(), index, &visit), S_OK);
  EXPECT_EQ(visit, (ReadVisit{row.time, row.url, row.path, row.title}));

  ULONG found = 0;
  EXPECT_EQ(base_->FindVisit(row.time, Bstr(row.url).get(), &found), S_OK);
  EXPECT_EQ(found, index);
}

INSTANTIATE_TEST_SUITE_P(Visits, RoundTrip, ::testing::ValuesIn(kVisits),
                         [](const auto& info) { return info.param.name; });

TEST_F(UrlBaseTest, AllVisitsTogetherKeepTheirOwnIndexes) {
  ULONG indexes[std::size(kVisits)];
  for (std::size_t i = 0; i < std::size(kVisits); ++i) {
    const VisitRow& row = kVisits[i];
    ASSERT_EQ(
        Add(base_.get(), row.time, row.url, row.path, row.title, &indexes[i]),
        S_OK);
    EXPECT_EQ(indexes[i], i + 1);
  }
  EXPECT_EQ(testing::CountOf(base_.get()), std::size(kVisits));
  for (std::size_t i = 0; i < std::size(kVisits); ++i) {
    const VisitRow& row = kVisits[i];
    ReadVisit visit;
    ASSERT_EQ(Read(base_.get(), indexes[i], &visit), S_OK) << row.name;
    EXPECT_EQ(visit, (ReadVisit{row.time, row.url, row.path, row.title}))
        << row.name;
  }
}

TEST_F(UrlBaseTest, NullStringsAreEmptyAndGetDataNeverGivesNull) {
  ULONG index = 0;
  ASSERT_EQ(base_->AddVisit(5, Bstr(u"u").get(), nullptr, nullptr, &index),
            S_OK);
  ReadVisit visit;
  ASSERT_EQ(Read(base_.get(), index, &visit), S_OK);
  EXPECT_EQ(visit, (ReadVisit{5, u"u", u"", u""}));
}

TEST_F(UrlBaseTest, GetDataLeavesPercentAndTheOldStringsAlone) {
  ULONG index = 0;
  ASSERT_EQ(Add(base_.get(), 1, u"u", u"p", u"t", &index), S_OK);
  _URL_DATE_IA_S data;
  OLECHAR marker[] = {u'x', 0};
  data.Url = data.Path = data.Title = marker;  // not BSTRs: must not be freed
  data.Percent = 0x5A5A5A5A;
  ASSERT_EQ(base_->GetData(&data, index), S_OK);
  EXPECT_EQ(data.Percent, 0x5A5A5A5A);
  EXPECT_NE(data.Url, marker);
  SysFreeString(data.Url);
  SysFreeString(data.Path);
  SysFreeString(data.Title);
}

TEST_F(UrlBaseTest, TheSameTimeAndUrlIsOneVisit) {
  ULONG first = 0, again = 0, other = 0;
  ASSERT_EQ(Add(base_.get(), 10, u"http://a/", u"p1", u"t1", &first), S_OK);
  // Path and title play no part: the stored visit stays as it was.
  EXPECT_EQ(Add(base_.get(), 10, u"http://a/", u"p2", u"t2", &again), S_FALSE);
  EXPECT_EQ(again, first);
  ReadVisit visit;
  ASSERT_EQ(Read(base_.get(), first, &visit), S_OK);
  EXPECT_EQ(visit, (ReadVisit{10, u"http://a/", u"p1", u"t1"}));
  // Another time or another URL is another visit; URLs compare exactly.
  EXPECT_EQ(Add(base_.get(), 11, u"http://a/", u"", u"", &other), S_OK);
  EXPECT_EQ(Add(base_.get(), 10, u"http://A/", u"", u"", &other), S_OK);
  EXPECT_EQ(testing::CountOf(base_.get()), 3u);
}

TEST_F(UrlBaseTest, FindVisitOfAnUnknownVisitIsSFalseAndZero) {
  ULONG index = 99;
  ASSERT_EQ(Add(base_.get(), 1, u"http://a/", u"", u"", &index), S_OK);
  EXPECT_EQ(base_->FindVisit(2, Bstr(u"http://a/").get(), &index), S_FALSE);
  EXPECT_EQ(index, 0u);
  index = 99;
  EXPECT_EQ(base_->FindVisit(1, nullptr, &index), S_FALSE);
  EXPECT_EQ(index, 0u);
}

TEST_F(UrlBaseTest, NextVisitWalksTheIndexesInOrderAcrossGaps) {
  ULONG index = 0;
  for (int i = 1; i <= 5; ++i) {
    ASSERT_EQ(Add(base_.get(), i, u"http://a/", u"", u"", &index), S_OK);
  }
  ASSERT_EQ(base_->RemoveVisit(2), S_OK);
  ASSERT_EQ(base_->RemoveVisit(4), S_OK);
  std::vector<ULONG> walked;
  ULONG at = 0;
  while (base_->NextVisit(at, &at) == S_OK) walked.push_back(at);
  EXPECT_EQ(walked, (std::vector<ULONG>{1, 3, 5}));
  EXPECT_EQ(at, 0u);
}

TEST_F(UrlBaseTest, IndexesAreNeverReused) {
  ULONG a = 0, b = 0, c = 0;
  ASSERT_EQ(Add(base_.get(), 1, u"http://a/", u"", u"", &a), S_OK);
  ASSERT_EQ(Add(base_.get(), 2, u"http://b/", u"", u"", &b), S_OK);
  ASSERT_EQ(base_->RemoveVisit(b), S_OK);
  ASSERT_EQ(Add(base_.get(), 2, u"http://b/", u"", u"", &c), S_OK);
  EXPECT_EQ(c, 3u);
}

TEST(UrlBasePersistence, VisitsAndIndexesSurviveReopening) {
  TempDir dir;
  ULONG kept = 0, removed = 0;
  {
    ComPtr<IBromURLBase> base;
    ASSERT_EQ(Open(dir.u16(), &base), S_OK);
    ASSERT_EQ(Add(base.get(), 7, u"http://\u00e9t\u00e9/", u"/p",
                  u"\u00c9t\u00e9", &kept),
              S_OK);
    ASSERT_EQ(Add(base.get(), 8, u"http://gone/", u"", u"", &removed), S_OK);
    ASSERT_EQ(base->RemoveVisit(removed), S_OK);
  }
  ComPtr<IBromURLBase> base;
  ASSERT_EQ(Open(dir.u16(), &base), S_OK);
  EXPECT_EQ(testing::CountOf(base.get()), 1u);
  ReadVisit visit;
  ASSERT_EQ(Read(base.get(), kept, &visit), S_OK);
  EXPECT_EQ(visit,
            (ReadVisit{7, u"http://\u00e9t\u00e9/", u"/p", u"\u00c9t\u00e9"}));
  EXPECT_EQ(Read(base.get(), removed, &visit), URLBASE_E_NOVISIT);
  ULONG next = 0;
  ASSERT_EQ(Add(base.get(), 9, u"http://new/", u"", u"", &next), S_OK);
  EXPECT_EQ(next, 3u);
}

TEST(UrlBasePersistence, TwoObjectsOverOneDirectoryShareTheHistory) {
  TempDir dir;
  ComPtr<IBromURLBase> first, second;
  ASSERT_EQ(Open(dir.u16(), &first), S_OK);
  ASSERT_EQ(Open(dir.u16(), &second), S_OK);
  ULONG index = 0;
  ASSERT_EQ(Add(first.get(), 1, u"http://a/", u"", u"", &index), S_OK);
  ReadVisit visit;
  EXPECT_EQ(Read(second.get(), index, &visit), S_OK);
}

// The last index a visit can get is 2^32 - 1; after it, AddVisit refuses
// and stores nothing.
TEST(UrlBaseLimits, IndexesEndAtTheLast32BitNumber) {
  TempDir dir;
  ComPtr<IBromURLBase> base;
  ASSERT_EQ(Open(dir.u16(), &base), S_OK);
  ULONG index = 0;
  ASSERT_EQ(Add(base.get(), 1, u"http://a/", u"", u"", &index), S_OK);
  {
    sqlite3* db = nullptr;
    const std::string file = platform::Utf16ToUtf8(
        dir.u16() + platform::kPathSeparator + CBromURLBase::kHistoryFileName);
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db,
                           "UPDATE sqlite_sequence SET seq = 4294967294 "
                           "WHERE name = 'visits'",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
  }
  ASSERT_EQ(Add(base.get(), 2, u"http://b/", u"", u"", &index), S_OK);
  EXPECT_EQ(index, 0xFFFFFFFFu);
  ReadVisit visit;
  EXPECT_EQ(Read(base.get(), 0xFFFFFFFFu, &visit), S_OK);
  EXPECT_EQ(Add(base.get(), 3, u"http://c/", u"", u"", &index),
            URLBASE_E_INDEXESEXHAUSTED);
  EXPECT_EQ(index, 0u);
  EXPECT_EQ(testing::CountOf(base.get()), 2u);
}

// --- page texts --------------------------------------------------------------

ComPtr<IBromPageTexts> TextsOf(IBromURLBase* base) {
  ComPtr<IBromPageTexts> texts;
  EXPECT_EQ(base->QueryInterface(IID_IBromPageTexts, texts.out_void()), S_OK);
  return texts;
}

// GetText's answer, with the text when there is one.
HRESULT ReadText(IBromURLBase* base, std::int64_t time, std::u16string_view url,
                 std::u16string* text) {
  BSTR kept = nullptr;
  const HRESULT hr = TextsOf(base)->GetText(time, Bstr(url).get(), &kept);
  const platform::UniqueBstr owned(kept);
  EXPECT_EQ(kept != nullptr, hr == S_OK);
  if (hr == S_OK) *text = platform::FromBstr(kept);
  return hr;
}

HRESULT StoreText(IBromURLBase* base, std::int64_t time,
                  std::u16string_view url, std::u16string_view text) {
  return TextsOf(base)->StoreText(time, Bstr(url).get(), Bstr(text).get());
}

TEST_P(RoundTrip, AStoredTextComesBackUnitForUnit) {
  const VisitRow& row = GetParam();
  ULONG index = 0;
  ASSERT_EQ(Add(base_.get(), row.time, row.url, row.path, row.title, &index),
            S_OK);
  // The title, and a long text of it, as the page's text.
  std::u16string long_text;
  while (long_text.size() < 300000) long_text += row.title + u" \n";
  for (const std::u16string& text : {row.title, long_text}) {
    ASSERT_EQ(StoreText(base_.get(), row.time, row.url, text), S_OK);
    std::u16string read;
    ASSERT_EQ(ReadText(base_.get(), row.time, row.url, &read), S_OK);
    EXPECT_EQ(read, text);
  }
}

// What happens to the text of visit 1 (time 1, http://a/) and visit 2
// (time 2, http://b/), both stored with texts, after each step.
struct TextStep {
  const char* name;
  void (*act)(IBromURLBase* base);
  bool first_kept, second_kept;
  LONG keep;  // the setting after the step
};

void PrintTo(const TextStep& row, std::ostream* out) { *out << row.name; }

const TextStep kTextSteps[] = {
    {"nothing", [](IBromURLBase*) {}, true, true, 1},
    {"removal_takes_its_text",
     [](IBromURLBase* base) { EXPECT_EQ(base->RemoveVisit(1), S_OK); }, false,
     true, 1},
    {"remove_all_takes_every_text",
     [](IBromURLBase* base) { EXPECT_EQ(base->RemoveAll(), S_OK); }, false,
     false, 1},
    {"switch_off_erases_and_stores_none",
     [](IBromURLBase* base) {
       EXPECT_EQ(TextsOf(base)->SetKeepTexts(0), S_OK);
       EXPECT_EQ(StoreText(base, 1, u"http://a/", u"again"), S_FALSE);
     },
     false, false, 0},
    {"switch_on_again_stores",
     [](IBromURLBase* base) {
       EXPECT_EQ(TextsOf(base)->SetKeepTexts(0), S_OK);
       EXPECT_EQ(TextsOf(base)->SetKeepTexts(1), S_OK);
       EXPECT_EQ(StoreText(base, 1, u"http://a/", u"text 1"), S_OK);
     },
     true, false, 1},
    {"no_visit_no_text",
     [](IBromURLBase* base) {
       EXPECT_EQ(StoreText(base, 3, u"http://a/", u"x"), S_FALSE);
       EXPECT_EQ(StoreText(base, 1, u"", u"x"), E_INVALIDARG);
     },
     true, true, 1},
};

class TextSteps : public ::testing::TestWithParam<TextStep> {};

TEST_P(TextSteps, LeaveTheTextsAndTheSettingAsTheTableSays) {
  const TextStep& row = GetParam();
  TempDir dir;
  {
    ComPtr<IBromURLBase> base;
    ASSERT_EQ(Open(dir.u16(), &base), S_OK);
    ULONG index = 0;
    for (int i = 1; i <= 2; ++i) {
      const std::u16string url = i == 1 ? u"http://a/" : u"http://b/";
      ASSERT_EQ(Add(base.get(), i, url, u"", u"", &index), S_OK);
      ASSERT_EQ(StoreText(base.get(), i, url,
                          u"text " + std::u16string(1, u'0' + i)),
                S_OK);
    }
    row.act(base.get());
  }
  // As a reopened history finds it.
  ComPtr<IBromURLBase> base;
  ASSERT_EQ(Open(dir.u16(), &base), S_OK);
  std::u16string text;
  EXPECT_EQ(ReadText(base.get(), 1, u"http://a/", &text) == S_OK,
            row.first_kept);
  EXPECT_EQ(ReadText(base.get(), 2, u"http://b/", &text) == S_OK,
            row.second_kept);
  LONG keep = -1;
  ULONG count = 0;
  std::int64_t bytes = 0;
  ASSERT_EQ(TextsOf(base.get())->GetTextTotals(&keep, &count, &bytes), S_OK);
  EXPECT_EQ(keep, row.keep);
  EXPECT_EQ(count, (row.first_kept ? 1u : 0u) + (row.second_kept ? 1u : 0u));
  EXPECT_EQ(bytes > 0, count > 0);
  // Nothing of a dropped text is left in the file's tables.
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open((dir / "history.sqlite3").string().c_str(), &db),
            SQLITE_OK);
  sqlite3_stmt* rows = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT count(*) FROM page_texts", -1,
                               &rows, nullptr),
            SQLITE_OK);
  ASSERT_EQ(sqlite3_step(rows), SQLITE_ROW);
  EXPECT_EQ(static_cast<ULONG>(sqlite3_column_int(rows, 0)), count);
  sqlite3_finalize(rows);
  sqlite3_close(db);
}

INSTANTIATE_TEST_SUITE_P(UrlBase, TextSteps, ::testing::ValuesIn(kTextSteps),
                         [](const auto& info) { return info.param.name; });

// A file written before texts were kept: it opens, keeps its visits and
// takes texts from then on; a text left by a visit removed elsewhere goes.
TEST(UrlBaseCreation, AnOlderHistoryWithoutTextsOpensAndKeepsWorking) {
  TempDir dir;
  {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((dir / "history.sqlite3").string().c_str(), &db),
              SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db,
                           "PRAGMA encoding = 'UTF-16le';"
                           "CREATE TABLE visits (id INTEGER PRIMARY KEY "
                           "AUTOINCREMENT, time INTEGER NOT NULL, url TEXT NOT "
                           "NULL, path TEXT NOT NULL, title TEXT NOT NULL, "
                           "UNIQUE (time, url));"
                           "INSERT INTO visits (time, url, path, title) "
                           "VALUES (5, 'http://old/', '', 'Old');",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
  }
  ComPtr<IBromURLBase> base;
  ASSERT_EQ(Open(dir.u16(), &base), S_OK);
  ReadVisit visit;
  ASSERT_EQ(Read(base.get(), 1, &visit), S_OK);
  EXPECT_EQ(visit, (ReadVisit{5, u"http://old/", u"", u"Old"}));
  std::u16string text;
  EXPECT_EQ(ReadText(base.get(), 5, u"http://old/", &text), S_FALSE);
  EXPECT_EQ(StoreText(base.get(), 5, u"http://old/", u"old page"), S_OK);
  EXPECT_EQ(ReadText(base.get(), 5, u"http://old/", &text), S_OK);
  EXPECT_EQ(text, u"old page");
  base.Reset();
  // The older build removes the visit and leaves the text.
  {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((dir / "history.sqlite3").string().c_str(), &db),
              SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, "DELETE FROM visits", nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
  }
  ASSERT_EQ(Open(dir.u16(), &base), S_OK);
  LONG keep = 0;
  ULONG count = 1;
  std::int64_t bytes = 0;
  ASSERT_EQ(TextsOf(base.get())->GetTextTotals(&keep, &count, &bytes), S_OK);
  EXPECT_EQ(count, 0u);
}

// --- bad input ---------------------------------------------------------------

TEST_F(UrlBaseTest, UnknownIndexesFailGetDataAndLeaveTheRecordAlone) {
  ULONG index = 0;
  ASSERT_EQ(Add(base_.get(), 1, u"http://a/", u"", u"", &index), S_OK);
  for (const ULONG unknown : {0u, 2u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu}) {
    _URL_DATE_IA_S data = {42, nullptr, nullptr, nullptr, 7};
    EXPECT_EQ(base_->GetData(&data, unknown), URLBASE_E_NOVISIT) << unknown;
    EXPECT_EQ(data.Time, 42);
    EXPECT_EQ(data.Url, nullptr);
    EXPECT_EQ(data.Percent, 7);
    EXPECT_EQ(base_->RemoveVisit(unknown), URLBASE_E_NOVISIT) << unknown;
  }
}

TEST_F(UrlBaseTest, AnEmptyUrlIsRefused) {
  ULONG index = 5;
  EXPECT_EQ(base_->AddVisit(1, nullptr, nullptr, nullptr, &index),
            E_INVALIDARG);
  EXPECT_EQ(index, 0u);
  EXPECT_EQ(Add(base_.get(), 1, u"", u"p", u"t", &index), E_INVALIDARG);
  EXPECT_EQ(testing::CountOf(base_.get()), 0u);
}

TEST_F(UrlBaseTest, NullOutPointersGiveEPointer) {
  ULONG index = 0;
  ASSERT_EQ(Add(base_.get(), 1, u"http://a/", u"", u"", &index), S_OK);
  EXPECT_EQ(
      base_->AddVisit(2, Bstr(u"http://b/").get(), nullptr, nullptr, nullptr),
      E_POINTER);
  EXPECT_EQ(base_->Count(nullptr), E_POINTER);
  EXPECT_EQ(base_->FindVisit(1, Bstr(u"http://a/").get(), nullptr), E_POINTER);
  EXPECT_EQ(base_->GetData(nullptr, index), E_POINTER);
  EXPECT_EQ(base_->NextVisit(0, nullptr), E_POINTER);
  EXPECT_EQ(base_->GetDataDirectory(nullptr), E_POINTER);
  // Nothing was stored on the way.
  EXPECT_EQ(testing::CountOf(base_.get()), 1u);
}

TEST(UrlBaseCreation, AFileThatIsNoDatabaseIsReportedAsCorrupt) {
  TempDir dir;
  {
    std::ofstream junk(dir / "history.sqlite3", std::ios::binary);
    junk << std::string(4096, 'x');
  }
  ComPtr<IBromURLBase> base;
  EXPECT_EQ(Open(dir.u16(), &base), URLBASE_E_CORRUPT);
  EXPECT_EQ(base.get(), nullptr);
}

TEST(UrlBaseCreation, ADatabaseWithAnotherVisitsTableIsReportedAsCorrupt) {
  TempDir dir;
  {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((dir / "history.sqlite3").string().c_str(), &db),
              SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, "CREATE TABLE visits (a, b)", nullptr, nullptr,
                           nullptr),
              SQLITE_OK);
    sqlite3_close(db);
  }
  ComPtr<IBromURLBase> base;
  EXPECT_EQ(Open(dir.u16(), &base), URLBASE_E_CORRUPT);
}

TEST(UrlBaseCreation, NullArgumentsAndAggregationAreRefused) {
  TempDir dir;
  EXPECT_EQ(
      CBromURLBase::CreateInDirectory(dir.u16(), IID_IBromURLBase, nullptr),
      E_POINTER);
  void* object = &dir;
  EXPECT_EQ(CBromURLBase::CreateInDirectory(u"", IID_IBromURLBase, &object),
            E_INVALIDARG);
  EXPECT_EQ(object, nullptr);
  ComPtr<IBromURLBase> outer;
  ASSERT_EQ(Open(dir.u16(), &outer), S_OK);
  object = &dir;
  EXPECT_EQ(CBromURLBase::CreateInstance(outer.get(), IID_IUnknown, &object),
            CLASS_E_NOAGGREGATION);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(CBromURLBase::CreateInstance(nullptr, IID_IUnknown, nullptr),
            E_POINTER);
}

// --- COM identity ------------------------------------------------------------

struct InterfaceRow {
  const char* name;
  IID iid;
  bool answered;
};

void PrintTo(const InterfaceRow& row, std::ostream* out) { *out << row.name; }

const InterfaceRow kInterfaces[] = {
    {"IUnknown", IID_IUnknown, true},
    {"IBromURLBase", IID_IBromURLBase, true},
    {"IBromPageTexts", IID_IBromPageTexts, true},
    {"IConnectionPointContainer", IID_IConnectionPointContainer, true},
    {"IConnectionPoint", IID_IConnectionPoint, false},
    {"IDispatch", IID_IDispatch, false},
    {"IBromURLBaseEvents", IID_IBromURLBaseEvents, false},
    {"the class identifier", CLSID_BromURLBase, false},
    {"IMarshal",
     {0x00000003, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}},
     false},
};

class Interfaces : public UrlBaseTest,
                   public ::testing::WithParamInterface<InterfaceRow> {};

TEST_P(Interfaces, AreAnsweredExactlyAsTheTableSays) {
  void* object = &object;
  const HRESULT hr = base_->QueryInterface(GetParam().iid, &object);
  if (!GetParam().answered) {
    EXPECT_EQ(hr, E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    return;
  }
  ASSERT_EQ(hr, S_OK);
  IUnknown* answered = static_cast<IUnknown*>(object);
  // The same identity behind every interface.
  ComPtr<IUnknown> identity_a, identity_b;
  ASSERT_EQ(answered->QueryInterface(IID_IUnknown, identity_a.out_void()),
            S_OK);
  ASSERT_EQ(base_->QueryInterface(IID_IUnknown, identity_b.out_void()), S_OK);
  EXPECT_EQ(identity_a.get(), identity_b.get());
  answered->Release();
}

INSTANTIATE_TEST_SUITE_P(UrlBase, Interfaces, ::testing::ValuesIn(kInterfaces),
                         [](const auto& info) {
                           std::string name = info.param.name;
                           for (char& c : name) {
                             if (!std::isalnum(static_cast<unsigned char>(c))) {
                               c = '_';
                             }
                           }
                           return name;
                         });

TEST(UrlBaseObject, HoldsOneModuleLockForItsLife) {
  TempDir dir;
  const std::int32_t before = ProcessModuleLock().Count();
  {
    ComPtr<IBromURLBase> base;
    ASSERT_EQ(Open(dir.u16(), &base), S_OK);
    EXPECT_EQ(ProcessModuleLock().Count(), before + 1);
  }
  EXPECT_EQ(ProcessModuleLock().Count(), before);
}

TEST(UrlBaseObject, CreationFailuresLeaveNoLockBehind) {
  TempDir dir;
  {
    std::ofstream junk(dir / "history.sqlite3", std::ios::binary);
    junk << "not a database, not at all, no no no no no no no no no no no";
  }
  const std::int32_t before = ProcessModuleLock().Count();
  ComPtr<IBromURLBase> base;
  EXPECT_EQ(Open(dir.u16(), &base), URLBASE_E_CORRUPT);
  void* object = &object;
  TempDir other;
  EXPECT_EQ(
      CBromURLBase::CreateInDirectory(other.u16(), IID_IDispatch, &object),
      E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(ProcessModuleLock().Count(), before);
}

}  // namespace
}  // namespace qoinfo
