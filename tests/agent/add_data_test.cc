#include "agent/add_data.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "platform/wide_string.h"
#include "tests/support/allocation_failure.h"

namespace qoinfo {
namespace {

using WordMap = CWordToIdsContainer::WordMap;

// A _URL_DATE_IA whose strings this object owns; an absent optional gives a
// null BSTR.
class Page {
 public:
  Page(std::int64_t time, const char16_t* url, const char16_t* text,
       const char16_t* path = u"", const char16_t* title = u"")
      : time_(time) {
    for (const char16_t* s : {url, text, path, title}) {
      strings_.push_back(s == nullptr ? nullptr : platform::AllocBstr(s));
    }
  }
  Page(std::int64_t time, const char16_t* url, std::u16string text)
      : Page(time, url, u"") {
    SysFreeString(strings_[1]);
    strings_[1] = platform::AllocBstr(text);
  }
  ~Page() {
    for (BSTR s : strings_) SysFreeString(s);
  }
  _URL_DATE_IA data() const {
    return {time_, strings_[0], strings_[1], strings_[2], strings_[3]};
  }

 private:
  std::int64_t time_;
  std::vector<BSTR> strings_;
};

struct Index {
  CIDContainer records;
  CWordToIdsContainer words;
  HRESULT Add(const Page& page) { return AddData(page.data(), records, words); }
};

TEST(AddData, EmptyTextStoresNothing) {
  Index index;
  EXPECT_EQ(index.Add(Page(1, u"u", u"")), S_OK);
  EXPECT_EQ(index.Add(Page(1, u"u", nullptr, u"p", u"t")), S_OK);
  EXPECT_EQ(index.Add(Page(1, u"u", std::u16string(u"\0words", 6))), S_OK);
  EXPECT_TRUE(index.records.GetRecords().empty());
  EXPECT_EQ(index.records.lastId(), 0);
  EXPECT_TRUE(index.words.GetWords().empty());
}

TEST(AddData, WhiteSpaceOnlyTextStoresTheEmptyWord) {
  Index index;
  EXPECT_EQ(index.Add(Page(1, u"u", u"   ")), S_OK);
  EXPECT_EQ(index.records.GetRecords().size(), 1u);
  EXPECT_EQ(index.words.GetWords(), (WordMap{{u"", {{1, 1}}}}));
}

TEST(AddData, NewPageFilesRecordAndWords) {
  Index index;
  EXPECT_EQ(index.Add(Page(10, u"http://Ex.com/A", u"Hello hello, World",
                           u"C:\\Cache\\A", u"Hello Title")),
            S_OK);
  ASSERT_EQ(index.records.GetRecords().size(), 1u);
  const CTimeURLContainer record = index.records.GetRecords().at(1);
  // URL, path and title keep their case; only words are lowered.
  EXPECT_EQ(record, CTimeURLContainer(10, u"http://Ex.com/A", u"C:\\Cache\\A",
                                      u"Hello Title"));
  EXPECT_EQ(index.words.GetWords(),
            (WordMap{{u"hello", {{1, 2}}}, {u"world", {{1, 1}}}}));
}

TEST(AddData, NullUrlPathTitleBecomeEmptyStrings) {
  Index index;
  EXPECT_EQ(index.Add(Page(3, nullptr, u"x", nullptr, nullptr)), S_OK);
  EXPECT_EQ(index.records.GetRecords().at(1), CTimeURLContainer(3, u"", u"", u""));
}

TEST(AddData, SamePageTwiceChangesNothing) {
  Index index;
  const Page page(1, u"u", u"b a c");
  index.Add(page);
  const auto records = index.records.GetRecords();
  const auto words = index.words.GetWords();
  EXPECT_EQ(index.Add(page), S_OK);
  EXPECT_EQ(index.records.GetRecords(), records);
  EXPECT_EQ(index.words.GetWords(), words);
  EXPECT_EQ(index.records.lastId(), 1);
}

TEST(AddData, SameVisitWithNewTitleKeepsFirstTitle) {
  Index index;
  index.Add(Page(1, u"u", u"x", u"p", u"first"));
  index.Add(Page(1, u"u", u"x", u"p2", u"second"));
  EXPECT_EQ(index.records.GetRecords().at(1).m_title, u"first");
  EXPECT_EQ(index.records.GetRecords().at(1).m_path, u"p");
}

TEST(AddData, SameVisitWithNewTextFilesOnlyWordsBeforeTheFirstShared) {
  Index index;
  index.Add(Page(1, u"u", u"m", u"", u""));
  // New words in order: a, b (file), m (already lists 1: stop), z (not filed).
  index.Add(Page(1, u"u", u"z M b a", u"", u""));
  EXPECT_EQ(index.words.GetWords(), (WordMap{{u"a", {{1, 1}}},
                                          {u"b", {{1, 1}}},
                                          {u"m", {{1, 1}}}}));
}

TEST(AddData, SameUrlAtAnotherTimeIsASecondPage) {
  Index index;
  index.Add(Page(1, u"u", u"word"));
  index.Add(Page(2, u"u", u"word word"));
  EXPECT_EQ(index.records.GetRecords().size(), 2u);
  EXPECT_EQ(index.words.GetWords(), (WordMap{{u"word", {{1, 1}, {2, 2}}}}));
}

TEST(AddData, ExhaustedCounterFailsAndStoresNothing) {
  Index index;
  index.records.SetLastId(CIDContainer::kMaxId);
  EXPECT_EQ(index.Add(Page(1, u"u", u"word")), E_FAIL);
  EXPECT_TRUE(index.records.GetRecords().empty());
  EXPECT_TRUE(index.words.GetWords().empty());
}

TEST(AddData, OutOfMemoryBecomesAnHResultAndStoresNoRecordBeforeFiling) {
  // Make every allocation point of one call fail in turn.
  const Page page(5, u"http://u", u"alpha beta gamma", u"path", u"title");
  bool completed = false;
  for (std::size_t n = 0; !completed && n < 500; ++n) {
    Index index;
    index.Add(Page(1, u"other", u"beta"));
    const auto records_before = index.records.GetRecords();
    const auto words_before = index.words.GetWords();
    const auto [hr, triggered] = testing::WithAllocationsFailingAfter(
        n, [&] { return index.Add(page); });
    if (!triggered) {
      EXPECT_EQ(hr, S_OK);
      completed = true;
      continue;
    }
    ASSERT_EQ(hr, E_OUTOFMEMORY) << "allocation " << n;
    if (index.records.GetRecords().size() == records_before.size()) {
      // Failed before the record was stored: nothing at all changed.
      EXPECT_EQ(index.records.lastId(), 1);
      EXPECT_EQ(index.words.GetWords(), words_before) << "allocation " << n;
    } else {
      // Failed while filing words: the record stays, as documented.
      EXPECT_EQ(index.records.lastId(), 2);
    }
  }
  EXPECT_TRUE(completed);
}

}  // namespace
}  // namespace qoinfo
