#include "agent/page_snippet.h"

#include "platform/wide_string.h"

namespace qoinfo {
namespace {

void PackNumber(std::uint32_t number, std::u16string* units) {
  units->push_back(static_cast<char16_t>(number & 0xFFFF));
  units->push_back(static_cast<char16_t>(number >> 16));
}

std::uint32_t UnpackNumber(std::u16string_view units, std::size_t at) {
  return static_cast<std::uint32_t>(units[at]) |
         (static_cast<std::uint32_t>(units[at + 1]) << 16);
}

}  // namespace

bool FindOptionsFromBits(std::uint32_t bits, FindOptions* options) {
  if ((bits & ~kFindKnownOptions) != 0) return false;
  options->prefix = (bits & kFindPrefix) != 0;
  return true;
}

std::uint32_t FindOptionsToBits(const FindOptions& options) {
  return options.prefix ? kFindPrefix : 0;
}

std::optional<Snippet> SnippetOfPage(PageTextSource& texts, std::int64_t time,
                                     std::u16string_view url,
                                     std::u16string_view query,
                                     const FindOptions& options) {
  std::u16string text;
  if (!texts.TextOf(time, url, &text)) return std::nullopt;
  return MakeSnippet(text, query, options);
}

HRESULT SnippetToCom(const std::optional<Snippet>& snippet, BSTR* text,
                     BSTR* marks, ULONG* flags) {
  platform::UniqueBstr passage(platform::AllocBstr(
      snippet ? std::u16string_view(snippet->text) : std::u16string_view()));
  platform::UniqueBstr packed(
      platform::AllocBstr(snippet ? PackMarks(snippet->marks) : u""));
  if (!passage || !packed) return E_OUTOFMEMORY;
  *text = passage.release();
  *marks = packed.release();
  if (snippet) {
    *flags = (snippet->cut_before ? kSnippetCutBefore : 0) |
             (snippet->cut_after ? kSnippetCutAfter : 0);
  }
  return snippet ? S_OK : S_FALSE;
}

std::u16string PackMarks(const std::vector<MarkedRange>& marks) {
  std::u16string units;
  units.reserve(marks.size() * 4);
  for (const MarkedRange& mark : marks) {
    PackNumber(mark.begin, &units);
    PackNumber(mark.length, &units);
  }
  return units;
}

bool UnpackMarks(std::u16string_view units, std::vector<MarkedRange>* marks) {
  if (units.size() % 4 != 0) return false;
  marks->clear();
  for (std::size_t at = 0; at < units.size(); at += 4)
    marks->push_back({UnpackNumber(units, at), UnpackNumber(units, at + 2)});
  return true;
}

}  // namespace qoinfo
