// Walks all 65,536 UTF-16 units through the lower-casing and the white-space
// split of this build and compares them with one checked-in expectation:
// ICU's simple lower-case mapping and the White_Space set, except for the
// units that Windows leaves unlowered, which every build leaves unlowered.
#include <gtest/gtest.h>

#include <array>
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

TEST(Utf16Units, LowerCaseOfWholeBufferMatchesUnitByUnit) {
  // Lowering a buffer must not look across units (no surrogate pairing).
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
