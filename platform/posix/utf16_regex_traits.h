// Boost.Regex character traits for UTF-16 code units (char16_t).
//
// Boost ships no traits for char16_t, and its ICU traits count U+001C..U+001F
// as white space. These traits answer the class `space` (\s) from the Unicode
// White_Space property, which is also the set the Windows build's character
// table reports, so that both builds split texts at the same units. Only what
// the word splitter's pattern needs carries meaning: the classes Boost
// requires to exist (word, lower, upper, alpha) have names but no members,
// collation is by code unit, and there is no case folding.
// Stateless; safe to use from any thread.
#pragma once

#include <boost/regex.hpp>
#include <cstdint>
#include <string>

#include "platform/white_space.h"

namespace platform {

class Utf16RegexTraits {
 public:
  using char_type = char16_t;
  using size_type = std::size_t;
  using string_type = std::u16string;
  using locale_type = int;
  using char_class_type = std::uint32_t;
  struct boost_extensions_tag {};

  static constexpr char_class_type kSpaceClass = 1;
  // Named so that Boost's pattern compiler finds them; they match nothing.
  static constexpr char_class_type kWordClass = 2;
  static constexpr char_class_type kLowerClass = 4;
  static constexpr char_class_type kUpperClass = 8;
  static constexpr char_class_type kAlphaClass = 16;

  static size_type length(const char_type* p) {
    return std::char_traits<char16_t>::length(p);
  }
  char_type translate(char_type c) const { return c; }
  char_type translate(char_type c, bool /*icase*/) const { return c; }
  char_type translate_nocase(char_type c) const { return c; }
  char_type tolower(char_type c) const { return c; }
  char_type toupper(char_type c) const { return c; }
  string_type transform(const char_type* p1, const char_type* p2) const {
    return string_type(p1, p2);
  }
  string_type transform_primary(const char_type* p1,
                                const char_type* p2) const {
    return string_type(p1, p2);
  }
  char_class_type lookup_classname(const char_type* p1,
                                   const char_type* p2) const;
  string_type lookup_collatename(const char_type* p1,
                                 const char_type* p2) const;
  bool isctype(char_type c, char_class_type mask) const {
    return (mask & kSpaceClass) != 0 && IsWhiteSpaceUnit(c);
  }
  int value(char_type c, int radix) const;
  std::intmax_t toi(const char_type*& p1, const char_type* p2,
                    int radix) const;
  boost::regex_constants::syntax_type syntax_type(char_type c) const;
  boost::regex_constants::escape_syntax_type escape_syntax_type(
      char_type c) const;
  std::string error_string(boost::regex_constants::error_type e) const;
  locale_type imbue(locale_type l) { return l; }
  locale_type getloc() const { return 0; }
};

}  // namespace platform
