// Texts in many scripts with the word maps both builds must give: an index
// written on one platform is searched on the other, so they must tokenize
// alike.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "agent/word_extraction.h"
#include "platform/wide_string.h"

namespace qoinfo {
namespace {

struct MultilingualCase {
  const char* name;
  std::u16string_view text;
  std::vector<std::pair<std::u16string, int>> words;
};

const MultilingualCase kCases[] = {
    {"latin accents", u"Élève ÉLÈVE élève Ñandú ÇA ça Øre",
     {{u"ça", 2}, {u"élève", 3}, {u"ñandú", 1}, {u"øre", 1}}},
    {"german sharp s", u"STRAẞE Straße straße",
     // U+1E9E keeps its case on Windows, and so here.
     {{u"straße", 2}, {u"straẞe", 1}}},
    {"greek final sigma", u"ΟΔΟΣ οδός Σοφία",
     // Lowering is per unit: capital sigma always becomes U+03C3.
     {{u"οδοσ", 1}, {u"οδός", 1}, {u"σοφία", 1}}},
    {"cyrillic", u"Привет, МИР! привет",
     {{u"мир!", 1}, {u"привет", 2}}},
    {"cjk", u"東京タワー 東京 (日本)",
     {{u"日本", 1}, {u"東京", 1}, {u"東京タワー", 1}}},
    {"above the bmp", u"\U00010400x \U00010428X \U0001F600. \U0001E900",
     // A surrogate pair is lowered as its character (Deseret, Adlam).
     {{u"\U00010428x", 2}, {u"\U0001E922", 1}, {u"\U0001F600", 1}}},
    {"no-break space splits", u"a\u00A0b\u00A0A",
     {{u"a", 2}, {u"b", 1}}},
    {"information separators do not split", u"a\u001Cb a\u001Db a\u001Eb a\u001Fb",
     {{u"a\u001Cb", 1}, {u"a\u001Db", 1}, {u"a\u001Eb", 1}, {u"a\u001Fb", 1}}},
    {"line separator and ideographic space split",
     u"one\u2028two\u3000three\u2029four\u0085five",
     {{u"five", 1}, {u"four", 1}, {u"one", 1}, {u"three", 1}, {u"two", 1}}},
    {"zero-width space does not split", u"a\u200Bb",
     {{u"a\u200Bb", 1}}},
    {"letters windows keeps", u"İstanbul \u212Aelvin \u2126 \u212B \u01C5",
     {{u"\u01C5", 1}, {u"\u2126", 1}, {u"\u212B", 1}, {u"\u212Aelvin", 1},
      {u"İstanbul", 1}}},
    {"arabic and hebrew", u"مرحبا بالعالم שלום, עולם",
     {{u"עולם", 1}, {u"שלום", 1}, {u"بالعالم", 1},
      {u"مرحبا", 1}}},
    {"fullwidth latin folds", u"ＡＢＣ ａｂｃ",
     {{u"ａｂｃ", 2}}},
};

TEST(MultilingualWords, EveryPlatformGivesTheSameMaps) {
  for (const MultilingualCase& c : kCases) {
    const platform::UniqueBstr text(platform::AllocBstr(c.text));
    const WordCountMap counts = ExtractWords(text.get());
    WordCountMap expected;
    for (const auto& [word, count] : c.words) {
      if (count > 0) expected[word] = count;
    }
    EXPECT_EQ(counts, expected) << c.name;
  }
}

}  // namespace
}  // namespace qoinfo
