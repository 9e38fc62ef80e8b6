// Minimal JSON text helpers for the tools' --json output.
#pragma once

#include <string>
#include <string_view>

namespace qoinfo::tools {

// `text` (UTF-8) as a quoted JSON string, with control characters escaped.
std::string JsonQuote(std::string_view text);

}  // namespace qoinfo::tools
