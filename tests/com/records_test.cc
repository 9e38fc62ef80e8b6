// The records' layout where clients and the type library meet them. Offsets
// are asserted at compile time in interfaces.h; this pins the values the
// 32-bit target must have and the GUIDs of the library.
#include <gtest/gtest.h>

#include <cstring>

#include "com/interfaces.h"

namespace {

TEST(Records, LayoutFollowsPointerSize) {
  constexpr std::size_t p = sizeof(void*);
  EXPECT_EQ(sizeof(_URL_DATE_IA), 8 + 4 * p);
  EXPECT_EQ(offsetof(_URL_DATE_IA, Title), 8 + 3 * p);
  EXPECT_EQ(offsetof(_URL_DATE_IA_S, Percent), 8 + 3 * p);
  if (p == 4) {
    EXPECT_EQ(sizeof(_URL_DATE_IA), 24u);
    EXPECT_EQ(sizeof(_URL_DATE_IA_S), 24u);
    EXPECT_EQ(offsetof(_URL_DATE_IA, Text), 12u);
    EXPECT_EQ(offsetof(_URL_DATE_IA, Path), 16u);
    EXPECT_EQ(offsetof(_URL_DATE_IA, Title), 20u);
    EXPECT_EQ(offsetof(_URL_DATE_IA_S, Path), 12u);
    EXPECT_EQ(offsetof(_URL_DATE_IA_S, Title), 16u);
    EXPECT_EQ(offsetof(_URL_DATE_IA_S, Percent), 20u);
  }
}

TEST(Records, FilledAsOneTypeReadAsTheOther) {
  // Time and Url share their places; Path lands in Text's, Title in Path's.
  _URL_DATE_IA_S hit{};
  hit.Path = reinterpret_cast<BSTR>(0x1000);
  hit.Title = reinterpret_cast<BSTR>(0x2000);
  _URL_DATE_IA page;
  static_assert(sizeof page == sizeof hit);
  std::memcpy(&page, &hit, sizeof page);
  EXPECT_EQ(page.Text, hit.Path);
  EXPECT_EQ(page.Path, hit.Title);
}

}  // namespace
