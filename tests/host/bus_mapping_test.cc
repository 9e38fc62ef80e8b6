// The records and HRESULTs on D-Bus: both records in their field order,
// text that D-Bus strings cannot carry, and errors that carry their code
// there and back.
#include <gtest/gtest.h>

#include "host/linux/bus_errors.h"
#include "host/linux/bus_names.h"
#include "host/linux/bus_records.h"
#include "urlbase/url_base.h"

namespace qoinfo::bus {
namespace {

platform::UniqueBstr Bstr(std::u16string_view text) {
  return platform::UniqueBstr(platform::AllocBstr(text));
}

TEST(BusRecords, PageFieldsTravelInTheirOrder) {
  const auto url = Bstr(u"http://a"), text = Bstr(u"w\u00e4rme"),
             path = Bstr(u"/p"), title = Bstr(u"T");
  const PageRecord record = RecordFromPage(
      _URL_DATE_IA{-7, url.get(), text.get(), path.get(), title.get()});
  EXPECT_EQ(record, PageRecord(-7, "http://a", "w\xc3\xa4rme", "/p", "T"));
  ReceivedPage page;
  ASSERT_EQ(PageFromRecord(record, &page), S_OK);
  EXPECT_EQ(page.View().Time, -7);
  EXPECT_EQ(platform::FromBstr(page.View().Text), u"w\u00e4rme");
  EXPECT_EQ(platform::FromBstr(page.View().Title), u"T");
}

TEST(BusRecords, HitFieldsTravelInTheirOrder) {
  const auto url = Bstr(u"u"), path = Bstr(u"p"), title = Bstr(u"t");
  const HitRecord record = RecordFromHit(
      _URL_DATE_IA_S{5, url.get(), path.get(), title.get(), 120});
  EXPECT_EQ(record, HitRecord(5, "u", "p", "t", 120));
  _URL_DATE_IA_S hit{};
  ASSERT_EQ(HitFromRecord(record, &hit), S_OK);
  const platform::UniqueBstr owned_url(hit.Url), owned_path(hit.Path),
      owned_title(hit.Title);
  EXPECT_EQ(hit.Percent, 120);
  EXPECT_EQ(platform::FromBstr(hit.Path), u"p");
}

struct TextRow {
  std::u16string units;
  const char* utf8;
};

TEST(BusRecords, TextGoesOutAsEveryWayInCarriesIt) {
  const TextRow rows[] = {
      {u"", ""},
      {std::u16string(u"a\0b", 3), "a"},  // up to the NUL, as the agent reads
      {std::u16string(1, char16_t{0xD800}), "\xef\xbf\xbd"},    // lone surrogate
      {u"\U0001F600", "\xf0\x9f\x98\x80"},
      // Noncharacters, which the bus cannot carry.
      {u"a\uFFFFb\uFFFE", "a\xef\xbf\xbd" "b\xef\xbf\xbd"},
      {u"\uFDD0\uFDEF\uFDCF\uFDF0", "\xef\xbf\xbd\xef\xbf\xbd\xef\xb7\x8f\xef\xb7\xb0"},
      {u"\U0001FFFE\U0010FFFF\U0001FFFD", "\xef\xbf\xbd\xef\xbf\xbd\xf0\x9f\xbf\xbd"},
      {u"a\U0001FFFFb", "a\xef\xbf\xbd" "b"},
  };
  for (const TextRow& row : rows) {
    const auto text = Bstr(row.units);
    EXPECT_EQ(TextFromBstr(text.get()), row.utf8);
  }
  EXPECT_EQ(TextFromBstr(nullptr), "");
}

TEST(BusRecords, TextThatIsNotUtf8IsRefused) {
  platform::UniqueBstr out;
  EXPECT_EQ(BstrFromText("\xc3", &out), E_INVALIDARG);
  const PageRecord bad(1, "u", "\xff", "", "");
  ReceivedPage page;
  EXPECT_EQ(PageFromRecord(bad, &page), E_INVALIDARG);
}

struct SnippetRow {
  std::u16string text;
  std::vector<MarkedRange> marks;
  const char* utf8;
  std::vector<MarkedRange> carried;  // the marks over the carried text
};

TEST(BusRecords, SnippetMarksNameTheSameWordsAfterCarrying) {
  const SnippetRow rows[] = {
      {u"a harbour", {{2, 7}}, "a harbour", {{2, 7}}},
      // A noncharacter of two units goes as U+FFFD, one unit: marks move.
      {u"\U0001FFFE harbour \U0001FFFF keeper", {{3, 7}, {14, 6}},
       "\xef\xbf\xbd harbour \xef\xbf\xbd keeper", {{2, 7}, {12, 6}}},
      {u"\U0001F600 harbour", {{3, 7}}, "\xf0\x9f\x98\x80 harbour", {{3, 7}}},
  };
  for (const SnippetRow& row : rows) {
    const SnippetRecord record =
        RecordFromSnippet(Snippet{row.text, row.marks, true, false});
    EXPECT_EQ(record.get<1>(), row.utf8);
    std::optional<Snippet> back;
    ASSERT_EQ(SnippetFromRecord(record, &back), S_OK);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->marks, row.carried);
    EXPECT_TRUE(back->cut_before);
  }
  std::optional<Snippet> none = Snippet{};
  ASSERT_EQ(SnippetFromRecord(RecordFromSnippet(std::nullopt), &none), S_OK);
  EXPECT_FALSE(none.has_value());
  const SnippetRecord beyond(true, "ab", {{1, 2}}, false, false);
  EXPECT_EQ(SnippetFromRecord(beyond, &none), E_INVALIDARG);
}

struct ErrorRow {
  HRESULT hr;
  const char* name;
};

TEST(BusErrors, FailuresAreNamedAndComeBackAsTheSameCode) {
  const ErrorRow rows[] = {
      {E_INVALIDARG, "QoInfoAgent.Error.E_INVALIDARG"},
      {E_FAIL, "QoInfoAgent.Error.E_FAIL"},
      {E_OUTOFMEMORY, "QoInfoAgent.Error.E_OUTOFMEMORY"},
      {URLBASE_E_NOVISIT, "QoInfoAgent.Error.URLBASE_E_NOVISIT"},
      {static_cast<HRESULT>(0x8007000Du), "QoInfoAgent.Error.HRESULT_8007000D"},
  };
  for (const ErrorRow& row : rows) {
    const sdbus::Error error = ErrorFromHResult(kAgentErrorPrefix, row.hr);
    EXPECT_EQ(error.getName(), row.name);
    EXPECT_EQ(HResultFromError(error), row.hr) << row.name;
  }
  EXPECT_EQ(ErrorFromHResult(kAgentErrorPrefix, E_INVALIDARG).getMessage(),
            "HRESULT 0x80070057");
}

TEST(BusErrors, TheBusOwnErrorsBecomeTheNearestCode) {
  const ErrorRow rows[] = {
      {E_ACCESSDENIED, "org.freedesktop.DBus.Error.AccessDenied"},
      {kPeerGone, "org.freedesktop.DBus.Error.ServiceUnknown"},
      {kPeerGone, "org.freedesktop.DBus.Error.NoReply"},
      {E_INVALIDARG, "org.freedesktop.DBus.Error.InvalidArgs"},
      {E_NOINTERFACE, "org.freedesktop.DBus.Error.UnknownMethod"},
      {E_FAIL, "org.example.Unheard"},
  };
  for (const ErrorRow& row : rows) {
    EXPECT_EQ(HResultFromError(sdbus::Error(row.name, "whatever")), row.hr)
        << row.name;
  }
}

}  // namespace
}  // namespace qoinfo::bus
