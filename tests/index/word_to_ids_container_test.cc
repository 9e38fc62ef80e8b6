#include "index/word_to_ids_container.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <map>
#include <random>
#include <vector>

namespace qoinfo {
namespace {

using Postings = CWordToIdsContainer::Postings;

TEST(CWordToIdsContainer, NewIdentifierIsFiledUnderEveryWord) {
  CWordToIdsContainer words;
  words.AddWords({{u"a", 2}, {u"b", 1}}, 1);
  words.AddWords({{u"b", 3}, {u"c", 1}}, 2);
  const CWordToIdsContainer::WordMap expected = {
      {u"a", {{1, 2}}}, {u"b", {{1, 1}, {2, 3}}}, {u"c", {{2, 1}}}};
  EXPECT_EQ(words.GetWords(), expected);
}

TEST(CWordToIdsContainer, RepeatingAPageChangesNothing) {
  CWordToIdsContainer words;
  const WordCountMap page = {{u"x", 1}, {u"y", 2}};
  words.AddWords(page, 5);
  const auto before = words.GetWords();
  words.AddWords({{u"x", 9}, {u"y", 9}}, 5);
  EXPECT_EQ(words.GetWords(), before);
}

TEST(CWordToIdsContainer, StopsAtFirstWordAlreadyListingTheIdentifier) {
  CWordToIdsContainer words;
  words.AddWords({{u"beta", 4}}, 7);
  words.AddWords({{u"alpha", 1}, {u"beta", 1}, {u"gamma", 1}}, 7);
  const CWordToIdsContainer::WordMap expected = {{u"alpha", {{7, 1}}},
                                                 {u"beta", {{7, 4}}}};
  EXPECT_EQ(words.GetWords(), expected);
}

TEST(CWordToIdsContainer, RemoveIdDropsEmptiedWords) {
  CWordToIdsContainer words;
  words.AddWords({{u"only", 1}, {u"shared", 1}}, 1);
  words.AddWords({{u"shared", 2}}, 2);
  words.RemoveId(1);
  words.RemoveId(99);
  const CWordToIdsContainer::WordMap expected = {{u"shared", {{2, 2}}}};
  EXPECT_EQ(words.GetWords(), expected);
  // The word comes back with the next page that holds it.
  words.AddWords({{u"only", 3}, {u"shared", 3}}, 3);
  const CWordToIdsContainer::WordMap refiled = {{u"only", {{3, 3}}},
                                                {u"shared", {{2, 2}, {3, 3}}}};
  EXPECT_EQ(words.GetWords(), refiled);
}

TEST(CWordToIdsContainer, EmptyWordIsAWordLikeAnyOther) {
  CWordToIdsContainer words;
  words.AddWords({{u"", 3}}, 1);
  EXPECT_EQ(words.GetWords().at(u""), (Postings{{1, 3}}));
}

TEST(CWordToIdsContainer, CopiesAreIndependent) {
  CWordToIdsContainer words;
  words.AddWords({{u"a", 1}}, 1);
  CWordToIdsContainer copy;
  copy = words;
  words.RemoveId(1);
  EXPECT_EQ(copy.GetWords().at(u"a"), (Postings{{1, 1}}));
  EXPECT_EQ(words.GetWords().count(u"a"), 0u);
}

}  // namespace
}  // namespace qoinfo

namespace qoinfo {
namespace {

TEST(PostingList, KeepsIdentifiersSortedAndUnique) {
  PostingList list;
  EXPECT_TRUE(list.emplace(5, 1));
  EXPECT_TRUE(list.emplace(9, 2));   // appended
  EXPECT_TRUE(list.emplace(-3, 3));  // before everything
  EXPECT_TRUE(list.emplace(7, 4));   // in the middle
  EXPECT_FALSE(list.emplace(7, 99)); // present: the first count stays
  EXPECT_EQ(list, (PostingList{{-3, 3}, {5, 1}, {7, 4}, {9, 2}}));
  EXPECT_EQ(list.find(7)->second, 4);
  EXPECT_EQ(list.find(8), list.end());
  EXPECT_EQ(list.erase(5), 1u);
  EXPECT_EQ(list.erase(5), 0u);
  EXPECT_EQ(list.count(5), 0u);
  EXPECT_EQ(list.size(), 3u);
  // An initializer list in any order, duplicates keeping the first.
  EXPECT_EQ((PostingList{{2, 1}, {1, 1}, {2, 5}}), (PostingList{{1, 1}, {2, 1}}));
}

// Identifiers far apart, negative or at the ends of the range keep their
// value and place, whichever came first, in copies and after erasing.
TEST(PostingList, KeepsIdentifiersOfAnySize) {
  constexpr std::int64_t kTop = UINT32_MAX;
  for (const std::int64_t wide : {kTop + 1, INT64_MAX, std::int64_t{-1}}) {
    PostingList list{{kTop, 1}, {0, 2}};
    EXPECT_EQ(list.erase(wide), 0u);
    EXPECT_EQ(list.find(wide), list.end());
    EXPECT_TRUE(list.emplace(wide, 3));
    const PostingList copy = list;
    std::vector<std::pair<std::int64_t, std::int32_t>> seen;
    copy.ForEach([&](std::int64_t id, std::int32_t count) {
      seen.emplace_back(id, count);
    });
    EXPECT_EQ(std::vector(list.begin(), list.end()), seen);
    EXPECT_EQ(seen.size(), 3u);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_EQ(list.find(wide)->second, 3);
    EXPECT_EQ(list.find(kTop)->second, 1);
    EXPECT_EQ(list.erase(kTop), 1u);
    EXPECT_EQ(list.size(), 2u);
  }
}

// Random appends, inserts, erasures, copies and moves against a std::map,
// with distances and counts at every encoded length (1 to 10 bytes, negative
// counts) and lists crossing between inline and allocated bytes.
TEST(PostingList, MatchesAMapUnderRandomChanges) {
  std::mt19937_64 random(12);
  const std::int64_t steps[] = {1, 127, 128, 16383, 16384, INT64_C(1) << 32,
                                INT64_C(1) << 62};
  for (int round = 0; round < 200; ++round) {
    PostingList list;
    std::map<std::int64_t, std::int32_t> model;
    std::int64_t next = static_cast<std::int64_t>(random()) % 1000 - 500;
    for (int op = 0; op < 60; ++op) {
      const auto pick = random() % 10;
      if (pick < 6) {  // mostly appends, as pages arrive
        if (next > INT64_MAX - steps[6]) next = INT64_MIN / 2;
        next += steps[random() % 7];
        const auto count = static_cast<std::int32_t>(random() % 300) - 20;
        EXPECT_EQ(list.emplace(next, count), model.emplace(next, count).second);
      } else if (pick < 8 && !model.empty()) {  // an identifier already there
        const std::int64_t id = std::next(model.begin(), random() % model.size())->first;
        EXPECT_EQ(list.erase(id), model.erase(id));
      } else if (pick == 8) {  // anywhere, the ends of the range included
        const std::int64_t id = random() % 2 ? INT64_MIN + op : INT64_MAX - op;
        EXPECT_EQ(list.emplace(id, op), model.emplace(id, op).second);
      } else {
        PostingList copy = list;
        if (random() % 2) copy.shrink_to_fit();
        if (random() % 3 == 0) {  // emptied, keeping its room, and refilled
          copy.clear();
          for (const auto& [id, count] : model) copy.emplace(id, count);
          list = copy;
        } else {
          list = std::move(copy);
        }
      }
      ASSERT_EQ(std::vector(list.begin(), list.end()),
                std::vector<PostingList::value_type>(model.begin(), model.end()));
      ASSERT_EQ(list.size(), model.size());
    }
  }
}

// Random insertions in and out of order, counts changed in place, copies,
// moves and clears against a std::map, with the empty word and words longer
// than a block of units.
TEST(WordCountMap, MatchesAMapUnderRandomChanges) {
  std::mt19937 random(5);
  const auto word = [&] {
    const std::size_t length = random() % 20 == 0 ? 1500 + random() % 600 : random() % 4;
    return std::u16string(length, static_cast<char16_t>(u'a' + random() % 3));
  };
  for (int round = 0; round < 100; ++round) {
    WordCountMap counts;
    std::map<std::u16string, std::int32_t> model;
    for (int op = 0; op < 80; ++op) {
      const auto pick = random() % 10;
      const std::u16string w = word();
      if (pick < 5) {
        EXPECT_EQ(counts.Insert(w, op), model.emplace(w, op).second);
      } else if (pick < 8) {
        counts[w] += op;
        model[w] += op;
      } else if (pick == 8) {
        WordCountMap copy(counts);
        if (random() % 2) {
          counts = copy;
        } else {
          counts = std::move(copy);
        }
      } else if (random() % 8 == 0) {
        counts.clear();
        model.clear();
      }
      ASSERT_EQ(counts.count(w), model.count(w));
      ASSERT_EQ(counts.size(), model.size());
      ASSERT_TRUE(std::equal(counts.begin(), counts.end(), model.begin(), model.end(),
                             [](const auto& a, const auto& b) {
                               return a.first == b.first && a.second == b.second;
                             }));
    }
  }
}

}  // namespace
}  // namespace qoinfo
