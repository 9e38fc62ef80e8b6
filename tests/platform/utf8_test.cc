#include "platform/utf8.h"

#include <gtest/gtest.h>

namespace {

struct DecodeCase {
  std::string_view bytes;
  bool valid;
  std::size_t error_offset;
  std::u16string_view text;
};

const DecodeCase kDecodeCases[] = {
    {"", true, 0, u""},
    {"plain", true, 0, u"plain"},
    {"\xC3\xA9t\xC3\xA9", true, 0, u"été"},
    {"\xE6\x9D\xB1\xE4\xBA\xAC", true, 0, u"東京"},
    {"\xF0\x9F\x98\x80", true, 0, u"\U0001F600"},
    {"\xF4\x8F\xBF\xBF", true, 0, u"\U0010FFFF"},
    {"ab\x80", false, 2, u"ab"},             // stray continuation byte
    {"a\xC3", false, 1, u"a"},               // truncated at the end
    {"a\xC3z", false, 1, u"a"},              // continuation missing
    {"\xC0\xAF", false, 0, u""},             // overlong '/'
    {"\xE0\x80\xAF", false, 0, u""},         // overlong, three bytes
    {"\xED\xA0\x80", false, 0, u""},         // encoded surrogate
    {"\xF4\x90\x80\x80", false, 0, u""},     // above U+10FFFF
    {"\xFF", false, 0, u""},                 // never valid
    {std::string_view("a\0b", 3), true, 0, std::u16string_view(u"a\0b", 3)},
};

TEST(Utf8ToUtf16, Table) {
  for (const DecodeCase& c : kDecodeCases) {
    std::u16string out;
    std::size_t offset = 999;
    EXPECT_EQ(platform::Utf8ToUtf16(c.bytes, &out, &offset), c.valid)
        << c.bytes;
    if (!c.valid) {
      EXPECT_EQ(offset, c.error_offset) << c.bytes;
    }
    EXPECT_EQ(out, c.text) << c.bytes;
  }
}

TEST(Utf16ToUtf8, EncodesPairsAndReplacesLoneSurrogates) {
  EXPECT_EQ(platform::Utf16ToUtf8(u"été \U0001F600"), "\xC3\xA9t\xC3\xA9 \xF0\x9F\x98\x80");
  const std::u16string lone = {u'a', 0xD800, u'b', 0xDC00};
  EXPECT_EQ(platform::Utf16ToUtf8(lone), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD");
}

TEST(Utf8, RoundTripsAllScalarValues) {
  std::u16string all;
  for (char32_t cp = 1; cp <= 0x10FFFF; cp += (cp < 0x10000 ? 1 : 37)) {
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;
    if (cp < 0x10000) {
      all.push_back(static_cast<char16_t>(cp));
    } else {
      all.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
      all.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    }
  }
  std::u16string back;
  std::size_t offset = 0;
  ASSERT_TRUE(platform::Utf8ToUtf16(platform::Utf16ToUtf8(all), &back, &offset));
  EXPECT_EQ(back, all);
}

}  // namespace
