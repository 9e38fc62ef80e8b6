// Finding the saved HTML pages to import: folders are walked recursively for
// files named *.html, *.htm or *.xhtml, and each file's location becomes the
// page's URL. Paths are UTF-8 strings. Functions only; no shared state.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qoinfo::tools {

struct PageFile {
  std::string path;                    // absolute, UTF-8, the OS's separators
  std::int64_t modified_unix_seconds;  // last modification, UTC
  std::uint64_t size_bytes;
};

// True for names ending in .html, .htm or .xhtml, in any letter case.
bool IsHtmlFileName(std::string_view name);

// Lists the HTML files under `roots`, sorted by path, each once. A root that
// is a file is listed whatever its name. A missing root fails the call with
// `error` naming it. A folder or file that cannot be read is skipped and
// described in `warnings`. Links to folders are not followed, so a link loop
// cannot trap the walk.
bool FindHtmlFiles(const std::vector<std::string>& roots,
                   std::vector<PageFile>* files,
                   std::vector<std::string>* warnings, std::string* error);

// The file: URL of an absolute path. POSIX "/a/b c" gives "file:///a/b%20c";
// Windows "C:\a\b" gives "file:///C:/a/b" and "\\host\share\x" gives
// "file://host/share/x" (only these Windows forms turn '\' into '/'; in a
// POSIX name '\' is an ordinary character, written %5C). Bytes other than
// letters, digits, '/' and -._~!$&'()*+,;=:@ are written %XX: so are space,
// '%', '#', '?', control bytes and each byte of non-ASCII UTF-8.
std::string FileUrl(std::string_view absolute_path);

}  // namespace qoinfo::tools
