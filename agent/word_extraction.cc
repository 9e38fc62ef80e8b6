#include "agent/word_extraction.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/hresult_error.h"
#include "platform/text_case.h"
#include "platform/white_space_units.h"
#include "platform/wide_string.h"

namespace qoinfo {
namespace {

// Calls `visit` with each token of `text`, in text order: the runs between
// white space, with an empty token first when the text starts with white
// space and none after white space at its end (what splitting at the
// pattern \s+ gives; the tests hold the two to each other).
template <typename Visit>
void ForEachToken(std::u16string_view text, Visit&& visit) {
  std::size_t at = 0;
  if (!text.empty() && platform::IsSplitSpace(text[0])) visit(text.substr(0, 0));
  while (at < text.size()) {
    while (at < text.size() && platform::IsSplitSpace(text[at])) ++at;
    if (at == text.size()) break;
    const std::size_t start = at;
    while (at < text.size() && !platform::IsSplitSpace(text[at])) ++at;
    visit(text.substr(start, at - start));
  }
}

std::u16string_view TrimmedView(std::u16string_view token) {
  std::size_t lead = 0;
  while (lead < token.size() && IsSeparator(token[lead])) ++lead;
  std::size_t trail = 0;
  while (trail < token.size() - lead &&
         IsSeparator(token[token.size() - 1 - trail])) {
    ++trail;
  }
  return token.substr(lead, token.size() - lead - trail);
}

}  // namespace

bool IsSeparator(char16_t unit) {
  return kSeparators.find(unit) != std::u16string_view::npos;
}

std::u16string TrimSeparators(const std::u16string& token) {
  return std::u16string(TrimmedView(token));
}

void SplitAtWhiteSpace(const std::u16string& text,
                       std::vector<std::u16string>* tokens) {
  ForEachToken(text, [&](std::u16string_view token) {
    tokens->emplace_back(token);
  });
}

void CountWordsOfLoweredText(const std::u16string& lowered,
                             WordCountMap* counts) {
  if (lowered.empty()) return;
  // Counted over views into the text first, so that each distinct word is
  // copied once; then filed in word order.
  std::unordered_map<std::u16string_view, std::int64_t> seen;
  ForEachToken(lowered, [&](std::u16string_view token) {
    ++seen[TrimmedView(token)];
  });
  std::vector<std::pair<std::u16string_view, std::int64_t>> sorted(
      seen.begin(), seen.end());
  std::sort(sorted.begin(), sorted.end());
  auto hint = counts->begin();
  for (const auto& [word, times] : sorted) {
    hint = counts->try_emplace(hint, std::u16string(word), 0);
    // A count saturates rather than overflowing its 32 bits.
    constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
    hint->second = static_cast<std::int32_t>(
        std::min(kMax, std::int64_t{hint->second} + times));
    ++hint;
  }
}

WordCountMap ExtractWords(BSTR text) {
  WordCountMap counts;
  if (text == nullptr) return counts;
  platform::UniqueBstr copy(SysAllocString(text));
  if (!copy) throw platform::HResultError(E_OUTOFMEMORY);
  platform::LowerCaseInPlace(copy.get(), SysStringLen(copy.get()));
  CountWordsOfLoweredText(platform::FromOleString(copy.get()), &counts);
  return counts;
}

}  // namespace qoinfo
