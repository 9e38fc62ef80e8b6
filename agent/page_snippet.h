// What every way in to Find and snippets shares: the options as they cross
// an interface (a word of bits), one page's snippet from the texts the
// history keeps, and the marks packed into UTF-16 units for COM's BSTR.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "agent/find.h"
#include "agent/page_text_source.h"
#include "agent/snippet.h"
#include "com/find_interface.h"

namespace qoinfo {

// The options of a kFind* word; false for a bit nobody knows.
bool FindOptionsFromBits(std::uint32_t bits, FindOptions* options);
std::uint32_t FindOptionsToBits(const FindOptions& options);

// The snippet of the page with this time and URL for `query`; none when no
// text is kept for the page.
std::optional<Snippet> SnippetOfPage(PageTextSource& texts, std::int64_t time,
                                     std::u16string_view url,
                                     std::u16string_view query,
                                     const FindOptions& options);

// IFind::Snippet's outputs from `snippet`: new BSTRs for the passage and
// its packed marks (empty without a snippet) and the cut flags; S_OK, S_FALSE
// without a snippet, or E_OUTOFMEMORY (outputs then untouched).
HRESULT SnippetToCom(const std::optional<Snippet>& snippet, BSTR* text,
                     BSTR* marks, ULONG* flags);

// Marks as IFind::Snippet hands them out: for each, begin and length as
// two units each, low half first.
std::u16string PackMarks(const std::vector<MarkedRange>& marks);
// False for units that are not whole marks.
bool UnpackMarks(std::u16string_view units, std::vector<MarkedRange>* marks);

}  // namespace qoinfo
