// The parts of an http: or https: URL that importing a history needs: is it
// a web page at all, does it carry credentials, which host serves it, and
// its host, path and query as the words of the page when nothing else is
// known. A plain parser of "scheme://authority/path?query#fragment", not a
// validator: the browser stored the URL, we only read it. Stateless.
#pragma once

#include <string>
#include <string_view>

namespace qoinfo::tools {

struct WebUrl {
  bool has_user_info = false;  // "user:password@" before the host
  std::u16string host;         // without user information and port
  std::u16string path;         // from the first '/' after the authority
  std::u16string query;        // after '?', without the fragment
};

// False for anything but an http: or https: URL (the scheme in any case)
// with an authority.
bool ParseWebUrl(std::u16string_view url, WebUrl* parsed);

// `text` with every "%XX" decoded to its byte (and, when `plus_is_space`,
// '+' to a space), the bytes read as UTF-8 and every byte that is not
// UTF-8 as ISO-8859-1.
std::u16string PercentDecoded(std::u16string_view text, bool plus_is_space);

// The text a page is filed with when only its visit is known: the title,
// the host whole, then the words of the host, the path and the query
// (percent-decoded; each ASCII character other than a letter or digit
// separates words), all separated by single spaces. docs/import.md.
std::u16string OfflinePageText(const std::u16string& title,
                               const WebUrl& url);

}  // namespace qoinfo::tools
