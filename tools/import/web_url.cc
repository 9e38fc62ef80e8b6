#include "tools/import/web_url.h"

#include "platform/utf8.h"

namespace qoinfo::tools {
namespace {

char16_t AsciiLower(char16_t c) {
  return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

bool SchemeIs(std::u16string_view scheme, std::u16string_view lower) {
  if (scheme.size() != lower.size()) return false;
  for (std::size_t i = 0; i < scheme.size(); ++i) {
    if (AsciiLower(scheme[i]) != lower[i]) return false;
  }
  return true;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsWordUnit(char16_t c) {
  return c >= 0x80 || (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') ||
         (c >= u'A' && c <= u'Z');
}

// Appends the words of `text` to `out`, each after one space.
void AppendWords(std::u16string_view text, std::u16string* out) {
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && !IsWordUnit(text[i])) ++i;
    const std::size_t start = i;
    while (i < text.size() && IsWordUnit(text[i])) ++i;
    if (i == start) break;
    if (!out->empty()) out->push_back(u' ');
    out->append(text.substr(start, i - start));
  }
}

}  // namespace

bool ParseWebUrl(std::u16string_view url, WebUrl* parsed) {
  *parsed = WebUrl();
  const std::size_t colon = url.find(u"://");
  if (colon == std::u16string_view::npos) return false;
  const std::u16string_view scheme = url.substr(0, colon);
  if (!SchemeIs(scheme, u"http") && !SchemeIs(scheme, u"https")) return false;
  std::u16string_view rest = url.substr(colon + 3);
  const std::size_t fragment = rest.find(u'#');
  if (fragment != std::u16string_view::npos) rest = rest.substr(0, fragment);
  const std::size_t authority_end = rest.find_first_of(u"/?");
  std::u16string_view authority = rest.substr(0, authority_end);
  rest = authority_end == std::u16string_view::npos
             ? std::u16string_view()
             : rest.substr(authority_end);
  const std::size_t at_sign = authority.rfind(u'@');
  if (at_sign != std::u16string_view::npos) {
    parsed->has_user_info = true;
    authority.remove_prefix(at_sign + 1);
  }
  // The port follows the last ':' outside an IPv6 literal's brackets.
  const std::size_t bracket = authority.rfind(u']');
  const std::size_t port = authority.rfind(u':');
  if (port != std::u16string_view::npos &&
      (bracket == std::u16string_view::npos || port > bracket)) {
    authority = authority.substr(0, port);
  }
  if (authority.empty()) return false;
  parsed->host.assign(authority);
  const std::size_t question = rest.find(u'?');
  parsed->path.assign(rest.substr(0, question));
  if (question != std::u16string_view::npos) {
    parsed->query.assign(rest.substr(question + 1));
  }
  return true;
}

std::u16string PercentDecoded(std::u16string_view text, bool plus_is_space) {
  const std::string utf8 = platform::Utf16ToUtf8(text);
  std::string bytes;
  bytes.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const char c = utf8[i];
    if (c == '%' && i + 2 < utf8.size() && HexValue(utf8[i + 1]) >= 0 &&
        HexValue(utf8[i + 2]) >= 0) {
      bytes.push_back(
          static_cast<char>(HexValue(utf8[i + 1]) * 16 + HexValue(utf8[i + 2])));
      i += 2;
    } else if (c == '+' && plus_is_space) {
      bytes.push_back(' ');
    } else {
      bytes.push_back(c);
    }
  }
  std::u16string out;
  std::string_view rest(bytes);
  std::size_t offset = 0;
  while (!platform::Utf8ToUtf16(rest, &out, &offset)) {
    out.push_back(static_cast<unsigned char>(rest[offset]));
    rest.remove_prefix(offset + 1);
  }
  return out;
}

std::u16string OfflinePageText(const std::u16string& title,
                               const WebUrl& url) {
  std::u16string text = title;
  if (!text.empty()) text.push_back(u' ');
  text.append(url.host);
  AppendWords(url.host, &text);
  AppendWords(PercentDecoded(url.path, false), &text);
  AppendWords(PercentDecoded(url.query, true), &text);
  return text;
}

}  // namespace qoinfo::tools
