#include "agent/word_extraction.h"

#include <gtest/gtest.h>

#include <iterator>
#include <memory>
#include <random>

#include "platform/wide_regex.h"
#include "platform/wide_string.h"
#include "tests/support/word_map_format.h"

namespace qoinfo {
namespace {

using testing::FormatWordMap;

WordCountMap Extract(std::u16string_view text) {
  platform::UniqueBstr bstr(platform::AllocBstr(text));
  return ExtractWords(bstr.get());
}

struct ExtractionCase {
  std::u16string_view text;
  const char* expected;
};

// Each row: a text and the word map ExtractWords gives for it.
const ExtractionCase kExtractionCases[] = {
    {u"Hello, World!", "hello:1 world!:1"},
    {u"Word word WORD", "word:3"},
    {u"  leading", "'':1 leading:1"},
    {u"trailing   ", "trailing:1"},
    {u"a \t\r\n b", "a:1 b:1"},
    {u"(example)", "example:1"},
    {u"...", "'':1"},
    {u"a.b", "a.b:1"},
    {u"c:\\dir\\", "c:\\dir:1"},
    {u"\"quoted\"", "quoted:1"},
    {u"x", "x:1"},
    {u"x y x", "x:2 y:1"},
    {u"", ""},
    {u" ", "'':1"},
    {u"\t\n", "'':1"},
    {u"a  ;  b", "'':1 a:1 b:1"},
    {u"it's-a well-known [fact]? yes!", "[fact]?:1 it's-a:1 well-known:1 yes!:1"},
    {u"2024-01-01 12:30 3.14", "12:30:1 2024-01-01:1 3.14:1"},
    {u"/usr/bin/ \\\\server\\share", "server\\share:1 usr/bin:1"},
    {u".;:(),\"/\\word.;:(),\"/\\", "word:1"},
    {u"ÄÖÜ äöü", "äöü:2"},
    {u"a\x1C" u"b", "a\x1C" "b:1"},
    {u"one\x00A0two", "one:1 two:1"},
};

class ExtractionTable : public ::testing::TestWithParam<ExtractionCase> {};

TEST_P(ExtractionTable, GivesExpectedWordMap) {
  const ExtractionCase& c = GetParam();
  EXPECT_EQ(FormatWordMap(Extract(c.text)), c.expected)
      << platform::Utf16ToUtf8(c.text);
}

INSTANTIATE_TEST_SUITE_P(Texts, ExtractionTable,
                         ::testing::ValuesIn(kExtractionCases));

TEST(ExtractWords, NullAndEmptyGiveNoWords) {
  EXPECT_TRUE(ExtractWords(nullptr).empty());
  EXPECT_TRUE(Extract(u"").empty());
}

TEST(ExtractWords, StopsAtFirstNul) {
  const std::u16string text(u"seen here\0never seen", 20);
  EXPECT_EQ(FormatWordMap(Extract(text)), "here:1 seen:1");
  EXPECT_TRUE(Extract(std::u16string(1, u'\0')).empty());
}

TEST(ExtractWords, NeverModifiesTheCallersString) {
  platform::UniqueBstr text(platform::AllocBstr(u"UPPER Case"));
  ExtractWords(text.get());
  EXPECT_EQ(platform::FromOleString(text.get()), u"UPPER Case");
}

TEST(ExtractWords, LowersBeforeSplittingAndTrimming) {
  // Folding precedes everything: "É" and "é" are one word.
  EXPECT_EQ(FormatWordMap(Extract(u"Élan élan ÉLAN")), "élan:3");
}

TEST(ExtractWords, WordsSortByUtf16CodeUnit) {
  // U+1F600 is the pair D83D DE00, which sorts before U+E000..U+FFFF.
  const WordCountMap counts = Extract(u"\uFF21 \U0001F600 \uE000 z");
  std::vector<std::u16string> order;
  for (const auto& [word, count] : counts) order.emplace_back(word);
  const std::vector<std::u16string> expected = {u"z", u"\U0001F600", u"\uE000",
                                                u"\uFF41"};
  EXPECT_EQ(order, expected);
}

TEST(ExtractWords, HugeTextsAreCountedExactly) {
  std::u16string text;
  for (int i = 0; i < 100000; ++i) text += u"w ";
  text += u"end";
  EXPECT_EQ(FormatWordMap(Extract(text)), "end:1 w:100000");
}

TEST(ExtractWords, LongWordsAreKeptWhole) {
  const std::u16string word(70000, u'a');
  const WordCountMap counts = Extract(u"(" + word + u")");
  ASSERT_EQ(counts.size(), 1u);
  EXPECT_EQ(counts.begin()->first, word);
}

struct TrimCase {
  std::u16string_view token;
  std::u16string_view trimmed;
};

class TrimTable : public ::testing::TestWithParam<TrimCase> {};

TEST_P(TrimTable, RemovesOnlyOuterSeparators) {
  EXPECT_EQ(TrimSeparators(std::u16string(GetParam().token)),
            GetParam().trimmed);
}

const TrimCase kTrimCases[] = {
    {u"", u""},          {u".", u""},         {u"..", u""},
    {u"a", u"a"},        {u".a", u"a"},       {u"a.", u"a"},
    {u"(a)", u"a"},      {u"a.b", u"a.b"},    {u".a.b.", u"a.b"},
    {u"\"a\"", u"a"},    {u"/a/", u"a"},      {u"\\a\\", u"a"},
    {u";:a:;", u"a"},    {u",a,", u"a"},      {u"-a-", u"-a-"},
    {u"'a'", u"'a'"},    {u"!a?", u"!a?"},    {u"[a]", u"[a]"},
    {u"..a..b..", u"a..b"},
};

INSTANTIATE_TEST_SUITE_P(Tokens, TrimTable, ::testing::ValuesIn(kTrimCases));

TEST(IsSeparator, ExactlyTheNineUnits) {
  int count = 0;
  for (std::uint32_t unit = 0; unit < 0x10000; ++unit) {
    if (IsSeparator(static_cast<char16_t>(unit))) ++count;
  }
  EXPECT_EQ(count, 9);
  for (const char16_t unit : kSeparators) EXPECT_TRUE(IsSeparator(unit));
  EXPECT_FALSE(IsSeparator(u'\0'));
  EXPECT_FALSE(IsSeparator(u'-'));
  EXPECT_FALSE(IsSeparator(u'\''));
}

// The split the words were defined by: the pattern \s+ over the platform's
// regular-expression traits, keeping the text between matches.
std::vector<std::u16string> SplitByPattern(const std::u16string& text) {
  using TokenIterator =
      boost::regex_token_iterator<platform::RegexString::const_iterator,
                                  platform::RegexChar,
                                  platform::WideRegex::traits_type>;
  static const platform::RegexChar kPattern[] = {'\\', 's', '+', 0};
  static const platform::WideRegex pattern(kPattern);
  const platform::RegexString subject(text.begin(), text.end());
  std::vector<std::u16string> tokens;
  TokenIterator token(subject.begin(), subject.end(), pattern, -1);
  for (const TokenIterator end; token != end; ++token) {
    tokens.emplace_back(token->first, token->second);
  }
  return tokens;
}

std::vector<std::u16string> Split(const std::u16string& text) {
  std::vector<std::u16string> tokens;
  SplitAtWhiteSpace(text, &tokens);
  return tokens;
}

// Every code unit, alone and in runs, at the start, inside and at the end.
TEST(SplitAtWhiteSpace, EveryUnitSplitsAsThePatternDoes) {
  int spaces = 0;
  for (unsigned unit = 0; unit < 65536; ++unit) {
    const std::u16string u(1, static_cast<char16_t>(unit));
    for (const std::u16string& text : {u + u"x", u"a" + u + u"b" + u + u}) {
      ASSERT_EQ(Split(text), SplitByPattern(text)) << "unit " << unit;
    }
    spaces += Split(u + u"x").size() == 2;
  }
#if !defined(_WIN32)
  EXPECT_EQ(spaces, 25);  // the Unicode White_Space set
#endif
}

TEST(SplitAtWhiteSpace, RandomTextsSplitAsThePatternDoes) {
  const char16_t kUnits[] = {u'a', u'b', u' ', u'\t', u'\n', u'\x1c', u'\x85',
                             u'\xa0', u'\u2000', u'\u200b', u'\u3000', u'.',
                             u'\xd83d', u'\xde00', u'\0', u'\xfeff'};
  std::mt19937 random(17);
  for (int i = 0; i < 20000; ++i) {
    std::u16string text(random() % 12, u' ');
    for (char16_t& unit : text) unit = kUnits[random() % std::size(kUnits)];
    ASSERT_EQ(Split(text), SplitByPattern(text));
  }
}

TEST(SplitAtWhiteSpace, FollowsTokenIteratorRules) {
  std::vector<std::u16string> tokens;
  SplitAtWhiteSpace(u"  a b\t\tc  ", &tokens);
  EXPECT_EQ(tokens, (std::vector<std::u16string>{u"", u"a", u"b", u"c"}));
  tokens.clear();
  SplitAtWhiteSpace(u"nospace", &tokens);
  EXPECT_EQ(tokens, (std::vector<std::u16string>{u"nospace"}));
}

}  // namespace
}  // namespace qoinfo
