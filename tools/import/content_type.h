// What a fetched answer's Content-Type says: whether the body is a page we
// read (HTML or XHTML), and the character set it names. Both fetchers (libcurl
// and WinHTTP) read the header the same way.
#pragma once

#include <string>

namespace qoinfo::tools {

// "text/html" or "application/xhtml+xml", in any case, parameters ignored.
bool IsHtmlType(std::string type);

// The charset parameter of `type`, without quotes or blanks; empty when
// there is none.
std::string CharsetOf(const std::string& type);

}  // namespace qoinfo::tools
