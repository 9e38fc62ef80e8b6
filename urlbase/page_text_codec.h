// The form a page's text takes in the history file: its UTF-16 units as
// little-endian bytes, compressed into one zstd frame. Web text shrinks to
// a fifth or less, and any unit sequence (lone surrogates, NULs) comes back
// exactly as given.
#pragma once

#include <string>
#include <string_view>

#include "platform/com_base.h"

namespace qoinfo {

// The compressed form of `text`: S_OK, or E_OUTOFMEMORY (also thrown as
// std::bad_alloc by the string).
HRESULT CompressPageText(std::u16string_view text, std::string* packed);
// The text of a compressed form: S_OK, or URLBASE_E_CORRUPT for bytes that
// are not one whole frame of a text; *text is then untouched.
HRESULT DecompressPageText(std::string_view packed, std::u16string* text);

}  // namespace qoinfo
