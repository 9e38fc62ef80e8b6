#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/com_base.h"
#include "platform/wide_string.h"

namespace {

std::basic_string<OLECHAR> Ole(std::u16string_view text) {
  return std::basic_string<OLECHAR>(text.begin(), text.end());
}

TEST(Bstr, LengthPrefixedAndTerminated) {
  const auto abc = Ole(u"abc");
  BSTR s = SysAllocString(abc.c_str());
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(SysStringLen(s), 3u);
  EXPECT_EQ(SysStringByteLen(s), 6u);
  std::uint32_t prefix;
  std::memcpy(&prefix, reinterpret_cast<const char*>(s) - 4, 4);
  EXPECT_EQ(prefix, 6u);
  EXPECT_EQ(s[3], 0);
  SysFreeString(s);
}

TEST(Bstr, SysAllocStringStopsAtFirstNul) {
  const auto text = Ole(std::u16string(u"ab\0cd", 5));
  BSTR s = SysAllocString(text.c_str());
  EXPECT_EQ(SysStringLen(s), 2u);
  SysFreeString(s);
  BSTR whole = SysAllocStringLen(text.c_str(), 5);
  EXPECT_EQ(SysStringLen(whole), 5u);
  EXPECT_EQ(whole[3], 'c');
  SysFreeString(whole);
}

TEST(Bstr, NullAndEmpty) {
  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  SysFreeString(nullptr);
  const auto empty = Ole(u"");
  BSTR s = SysAllocString(empty.c_str());
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(SysStringLen(s), 0u);
  EXPECT_EQ(s[0], 0);
  SysFreeString(s);
}

TEST(WideString, RoundTripsEveryUnitButNul) {
  std::u16string all;
  for (std::uint32_t u = 1; u < 0x10000; ++u) all.push_back(static_cast<char16_t>(u));
  BSTR s = platform::AllocBstr(all);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(SysStringLen(s), all.size());
  EXPECT_EQ(platform::FromOleString(s), all);
  SysFreeString(s);
  EXPECT_EQ(platform::FromOleString(nullptr), u"");
}

}  // namespace
