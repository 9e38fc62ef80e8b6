#include "platform/utf8.h"

#include <cstdint>

namespace platform {
namespace {

void AppendUtf16(char32_t cp, std::u16string* out) {
  if (cp < 0x10000) {
    out->push_back(static_cast<char16_t>(cp));
  } else {
    cp -= 0x10000;
    out->push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out->push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  }
}

void AppendUtf8(char32_t cp, std::string* out) {
  if (cp < 0x80) {
    out->push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

bool IsSurrogate(char32_t cp) { return cp >= 0xD800 && cp <= 0xDFFF; }

}  // namespace

bool Utf8ToUtf16(std::string_view utf8, std::u16string* out,
                 std::size_t* error_offset) {
  out->reserve(out->size() + utf8.size());
  std::size_t i = 0;
  while (i < utf8.size()) {
    const auto lead = static_cast<std::uint8_t>(utf8[i]);
    if (lead < 0x80) {
      out->push_back(lead);
      ++i;
      continue;
    }
    std::size_t length;
    char32_t cp;
    char32_t min;
    if ((lead & 0xE0) == 0xC0) {
      length = 2, cp = lead & 0x1F, min = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3, cp = lead & 0x0F, min = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4, cp = lead & 0x07, min = 0x10000;
    } else {
      *error_offset = i;
      return false;
    }
    if (utf8.size() - i < length) {
      *error_offset = i;
      return false;
    }
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<std::uint8_t>(utf8[i + k]);
      if ((next & 0xC0) != 0x80) {
        *error_offset = i;
        return false;
      }
      cp = (cp << 6) | (next & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || IsSurrogate(cp)) {
      *error_offset = i;
      return false;
    }
    AppendUtf16(cp, out);
    i += length;
  }
  return true;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
  std::string out;
  out.reserve(utf16.size());
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    char32_t cp = utf16[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < utf16.size() &&
        utf16[i + 1] >= 0xDC00 && utf16[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
      ++i;
    } else if (IsSurrogate(cp)) {
      cp = 0xFFFD;
    }
    AppendUtf8(cp, &out);
  }
  return out;
}

bool IsNoncharacter(char32_t cp) {
  return (cp >= 0xFDD0 && cp <= 0xFDEF) ||
         (cp <= 0x10FFFF && (cp & 0xFFFE) == 0xFFFE);
}

void ToCarriedText(std::u16string* text) {
  const std::size_t nul = text->find(u'\0');
  if (nul != std::u16string::npos) text->resize(nul);
  // Every noncharacter has a unit U+FDD0..U+FDEF or U+xxFE/U+xxFF (the
  // second unit of a pair for those above U+FFFF): most texts have none,
  // and are left after one look at each unit.
  char16_t* const units = text->data();
  const std::size_t size = text->size();
  std::size_t first = 0;
  while (first < size && !(units[first] >= 0xFDD0 && units[first] <= 0xFDEF) &&
         (units[first] & 0xFFFE) != 0xFFFE &&
         (units[first] & 0xFFFE) != 0xDFFE) {
    ++first;
  }
  if (first == size) return;
  // From the start of a pair whose second unit was found.
  if (first > 0 && units[first] >= 0xDC00 && units[first] <= 0xDFFF &&
      units[first - 1] >= 0xD800 && units[first - 1] <= 0xDBFF) {
    --first;
  }
  std::size_t kept = first;
  for (std::size_t i = first; i < size; ++i) {
    char32_t cp = units[i];
    std::size_t length = 1;
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < size && units[i + 1] >= 0xDC00 &&
        units[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (units[i + 1] - 0xDC00);
      length = 2;
    }
    if (IsNoncharacter(cp)) {
      units[kept++] = u'\uFFFD';
    } else {
      for (std::size_t k = 0; k < length; ++k) units[kept++] = units[i + k];
    }
    i += length - 1;
  }
  text->resize(kept);
}

std::u16string LenientUtf8ToCarriedText(std::string_view utf8) {
  std::u16string out;
  std::size_t offset = 0;
  while (!Utf8ToUtf16(utf8, &out, &offset)) {
    out += u'\uFFFD';
    utf8.remove_prefix(offset + 1);
  }
  ToCarriedText(&out);
  return out;
}

}  // namespace platform
