#include "index/word_to_ids_container.h"

#include <gtest/gtest.h>

namespace qoinfo {
namespace {

using Postings = CWordToIdsContainer::Postings;

TEST(CWordToIdsContainer, NewIdentifierIsFiledUnderEveryWord) {
  CWordToIdsContainer words;
  words.AddWords({{u"a", 2}, {u"b", 1}}, 1);
  words.AddWords({{u"b", 3}, {u"c", 1}}, 2);
  const CWordToIdsContainer::WordMap expected = {
      {u"a", {{1, 2}}}, {u"b", {{1, 1}, {2, 3}}}, {u"c", {{2, 1}}}};
  EXPECT_EQ(words.words(), expected);
}

TEST(CWordToIdsContainer, RepeatingAPageChangesNothing) {
  CWordToIdsContainer words;
  const WordCountMap page = {{u"x", 1}, {u"y", 2}};
  words.AddWords(page, 5);
  const auto before = words.GetWords();
  words.AddWords({{u"x", 9}, {u"y", 9}}, 5);
  EXPECT_EQ(words.words(), before);
}

TEST(CWordToIdsContainer, StopsAtFirstWordAlreadyListingTheIdentifier) {
  CWordToIdsContainer words;
  words.AddWords({{u"beta", 4}}, 7);
  words.AddWords({{u"alpha", 1}, {u"beta", 1}, {u"gamma", 1}}, 7);
  const CWordToIdsContainer::WordMap expected = {{u"alpha", {{7, 1}}},
                                                 {u"beta", {{7, 4}}}};
  EXPECT_EQ(words.words(), expected);
}

TEST(CWordToIdsContainer, RemoveIdLeavesEmptiedWords) {
  CWordToIdsContainer words;
  words.AddWords({{u"only", 1}, {u"shared", 1}}, 1);
  words.AddWords({{u"shared", 2}}, 2);
  words.RemoveId(1);
  words.RemoveId(99);
  const CWordToIdsContainer::WordMap expected = {{u"only", {}},
                                                 {u"shared", {{2, 2}}}};
  EXPECT_EQ(words.words(), expected);
}

TEST(CWordToIdsContainer, EmptyWordIsAWordLikeAnyOther) {
  CWordToIdsContainer words;
  words.AddWords({{u"", 3}}, 1);
  EXPECT_EQ(words.words().at(u""), (Postings{{1, 3}}));
}

TEST(CWordToIdsContainer, CopiesAreIndependent) {
  CWordToIdsContainer words;
  words.AddWords({{u"a", 1}}, 1);
  CWordToIdsContainer copy;
  copy = words;
  words.RemoveId(1);
  EXPECT_EQ(copy.words().at(u"a"), (Postings{{1, 1}}));
  EXPECT_TRUE(words.GetWords().at(u"a").empty());
}

}  // namespace
}  // namespace qoinfo
