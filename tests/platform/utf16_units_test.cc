// Walks all 65,536 UTF-16 units through the lower-casing and the white-space
// split of this build and compares them with one checked-in expectation:
// ICU's simple lower-case mapping and the White_Space set, except for the
// units that Windows leaves unlowered, which every build leaves unlowered.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <map>
#include <string>
#include <vector>

#include "agent/word_extraction.h"
#include "platform/case_exceptions.h"
#include "platform/text_case.h"

namespace {

struct UnitExpectation {
  char16_t unit;
  char16_t lower;
  bool white_space;
};

const UnitExpectation kExpectation[] = {
#include "tests/platform/utf16_unit_expectation.inc"
};

struct SupplementaryExpectation {
  char32_t character;
  char32_t lower;
};

const SupplementaryExpectation kSupplementary[] = {
#include "tests/platform/supplementary_lower_expectation.inc"
};

void EncodePair(char32_t c, OLECHAR* pair) {
  pair[0] = static_cast<OLECHAR>(0xD800 + ((c - 0x10000) >> 10));
  pair[1] = static_cast<OLECHAR>(0xDC00 + ((c - 0x10000) & 0x3FF));
}

struct Expected {
  std::array<char16_t, 0x10000> lower;
  std::array<bool, 0x10000> white_space;
};

Expected BuildExpected() {
  Expected e;
  for (std::uint32_t u = 0; u < 0x10000; ++u) {
    e.lower[u] = static_cast<char16_t>(u);
    e.white_space[u] = false;
  }
  for (const UnitExpectation& x : kExpectation) {
    e.lower[x.unit] = x.lower;
    e.white_space[x.unit] = x.white_space;
  }
  for (const char16_t unit : platform::kUnitsWindowsLeavesUnlowered) {
    e.lower[unit] = unit;
  }
  return e;
}

TEST(Utf16Units, LowerCaseMappingMatchesExpectation) {
  const Expected expected = BuildExpected();
  int mismatches = 0;
  for (std::uint32_t u = 0; u < 0x10000; ++u) {
    OLECHAR unit = static_cast<OLECHAR>(u);
    platform::LowerCaseInPlace(&unit, 1);
    if (static_cast<char16_t>(unit) != expected.lower[u] && ++mismatches < 20) {
      ADD_FAILURE() << std::hex << "U+" << u << " lowered to U+"
                    << static_cast<std::uint32_t>(unit) << ", expected U+"
                    << static_cast<std::uint32_t>(expected.lower[u]);
    }
  }
  EXPECT_EQ(mismatches, 0);
}

TEST(Utf16Units, SurrogatePairsLowerAsTheirCharacter) {
  std::map<char32_t, char32_t> expected;
  for (const SupplementaryExpectation& x : kSupplementary) {
    expected[x.character] = x.lower;
  }
  int mismatches = 0;
  for (char32_t c = 0x10000; c <= 0x10FFFF; ++c) {
    OLECHAR pair[2];
    EncodePair(c, pair);
    platform::LowerCaseInPlace(pair, 2);
    OLECHAR want[2];
    const auto found = expected.find(c);
    EncodePair(found == expected.end() ? c : found->second, want);
    if ((pair[0] != want[0] || pair[1] != want[1]) && ++mismatches < 20) {
      ADD_FAILURE() << std::hex << "U+" << static_cast<std::uint32_t>(c);
    }
  }
  EXPECT_EQ(mismatches, 0);
}

TEST(Utf16Units, UnpairedSurrogatesStayAsTheyAre) {
  // A high surrogate before a letter, a reversed pair, a pair cut by length.
  OLECHAR text[] = {0xD801, 'A', 0xDC00, 0xD801, 0xD801, 0xDC00};
  platform::LowerCaseInPlace(text, 5);
  const OLECHAR expected[] = {0xD801, 'a', 0xDC00, 0xD801, 0xD801, 0xDC00};
  EXPECT_TRUE(std::equal(std::begin(text), std::end(text), std::begin(expected)));
}

TEST(Utf16Units, LowerCaseOfWholeBufferMatchesUnitByUnit) {
  // Every unit in one buffer: adjacent surrogates D800..DBFF then DC00..DFFF
  // meet only as DBFF DC00, which encodes an unassigned character.
  const Expected expected = BuildExpected();
  std::vector<OLECHAR> all;
  for (std::uint32_t u = 1; u < 0x10000; ++u) all.push_back(static_cast<OLECHAR>(u));
  platform::LowerCaseInPlace(all.data(), static_cast<UINT>(all.size()));
  int mismatches = 0;
  for (std::uint32_t u = 1; u < 0x10000; ++u) {
    if (static_cast<char16_t>(all[u - 1]) != expected.lower[u]) ++mismatches;
  }
  EXPECT_EQ(mismatches, 0);
}

TEST(Utf16Units, WhiteSpaceClassMatchesExpectation) {
  const Expected expected = BuildExpected();
  int mismatches = 0;
  int spaces = 0;
  for (std::uint32_t u = 0; u < 0x10000; ++u) {
    const std::u16string text = {u'a', static_cast<char16_t>(u), u'b'};
    std::vector<std::u16string> tokens;
    qoinfo::SplitAtWhiteSpace(text, &tokens);
    const bool split = tokens.size() == 2;
    spaces += split;
    if (split != expected.white_space[u] && ++mismatches < 20) {
      ADD_FAILURE() << std::hex << "U+" << u << (split ? " splits" : " does not split");
    }
  }
  EXPECT_EQ(mismatches, 0);
  EXPECT_EQ(spaces, 25);
}

TEST(Utf16Units, WindowsExceptionsAreSortedAndDifferFromIcu) {
  // The exception list must stay sorted (it is searched) and hold only units
  // that the ICU expectation would otherwise lower.
  const auto& list = platform::kUnitsWindowsLeavesUnlowered;
  EXPECT_TRUE(std::is_sorted(list.begin(), list.end()));
  for (const char16_t unit : list) {
    bool icu_lowers = false;
    for (const UnitExpectation& x : kExpectation) {
      if (x.unit == unit && x.lower != unit) icu_lowers = true;
    }
    EXPECT_TRUE(icu_lowers) << std::hex << static_cast<int>(unit);
  }
}

}  // namespace
