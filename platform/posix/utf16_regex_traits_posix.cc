#include "platform/posix/utf16_regex_traits.h"

namespace platform {
namespace {

bool IsAscii(char16_t c) { return c < 0x80; }

std::string NarrowAscii(const char16_t* p1, const char16_t* p2) {
  std::string out;
  for (; p1 != p2; ++p1) {
    if (!IsAscii(*p1)) return {};
    out.push_back(static_cast<char>(*p1));
  }
  return out;
}

}  // namespace

Utf16RegexTraits::char_class_type Utf16RegexTraits::lookup_classname(
    const char_type* p1, const char_type* p2) const {
  const std::string name = NarrowAscii(p1, p2);
  if (name == "s" || name == "space") return kSpaceClass;
  if (name == "w") return kWordClass;
  if (name == "lower") return kLowerClass;
  if (name == "upper") return kUpperClass;
  if (name == "alpha") return kAlphaClass;
  return 0;
}

Utf16RegexTraits::string_type Utf16RegexTraits::lookup_collatename(
    const char_type* p1, const char_type* p2) const {
  // Single units collate as themselves; named collating elements are unknown.
  if (p2 - p1 == 1) return string_type(p1, p2);
  return {};
}

int Utf16RegexTraits::value(char_type c, int radix) const {
  int digit = -1;
  if (c >= u'0' && c <= u'9') digit = c - u'0';
  else if (c >= u'a' && c <= u'z') digit = c - u'a' + 10;
  else if (c >= u'A' && c <= u'Z') digit = c - u'A' + 10;
  return digit < radix ? digit : -1;
}

std::intmax_t Utf16RegexTraits::toi(const char_type*& p1, const char_type* p2,
                                    int radix) const {
  std::intmax_t result = -1;
  while (p1 != p2) {
    const int digit = value(*p1, radix);
    if (digit < 0) break;
    result = (result < 0 ? 0 : result) * radix + digit;
    if (result > INT32_MAX) return -1;
    ++p1;
  }
  return result;
}

boost::regex_constants::syntax_type Utf16RegexTraits::syntax_type(
    char_type c) const {
  return IsAscii(c) ? boost::BOOST_REGEX_DETAIL_NS::get_default_syntax_type(
                          static_cast<char>(c))
                    : boost::regex_constants::syntax_char;
}

boost::regex_constants::escape_syntax_type Utf16RegexTraits::escape_syntax_type(
    char_type c) const {
  return IsAscii(c)
             ? boost::BOOST_REGEX_DETAIL_NS::get_default_escape_syntax_type(
                   static_cast<char>(c))
             : boost::regex_constants::escape_type_identity;
}

std::string Utf16RegexTraits::error_string(
    boost::regex_constants::error_type e) const {
  return boost::BOOST_REGEX_DETAIL_NS::get_default_error_string(e);
}

}  // namespace platform
