#include "agent/word_extraction.h"

#include <cstdint>
#include <limits>
#include <vector>

#include "platform/hresult_error.h"
#include "platform/text_case.h"
#include "platform/wide_regex.h"
#include "platform/wide_string.h"

namespace qoinfo {
namespace {

using TokenIterator =
    boost::regex_token_iterator<platform::RegexString::const_iterator,
                                platform::RegexChar,
                                platform::WideRegex::traits_type>;

const platform::WideRegex& WhiteSpaceRuns() {
  static const platform::RegexChar kPattern[] = {'\\', 's', '+', 0};
  static const platform::WideRegex pattern(kPattern);
  return pattern;
}

// Calls `visit` with each token of `text`, in text order.
template <typename Visit>
void ForEachToken(const std::u16string& text, Visit&& visit) {
  // The regex works on the platform's 16-bit unit type; on POSIX that is
  // char16_t itself and no copy is made.
  const platform::RegexString* subject;
  platform::RegexString converted;
  if constexpr (std::is_same_v<platform::RegexString, std::u16string>) {
    subject = &text;
  } else {
    converted.assign(text.begin(), text.end());
    subject = &converted;
  }
  TokenIterator token(subject->begin(), subject->end(), WhiteSpaceRuns(), -1);
  for (const TokenIterator end; token != end; ++token) {
    visit(std::u16string(token->first, token->second));
  }
}

}  // namespace

bool IsSeparator(char16_t unit) {
  return kSeparators.find(unit) != std::u16string_view::npos;
}

std::u16string TrimSeparators(const std::u16string& token) {
  std::size_t lead = 0;
  while (lead < token.size() && IsSeparator(token[lead])) ++lead;
  std::size_t trail = 0;
  while (trail < token.size() && IsSeparator(token[token.size() - 1 - trail])) {
    ++trail;
  }
  // For a token of separators only, lead + trail exceeds the length and the
  // result is empty.
  if (lead + trail >= token.size()) return std::u16string();
  return token.substr(lead, token.size() - trail - lead);
}

void SplitAtWhiteSpace(const std::u16string& text,
                       std::vector<std::u16string>* tokens) {
  ForEachToken(text, [&](std::u16string token) {
    tokens->push_back(std::move(token));
  });
}

void CountWordsOfLoweredText(const std::u16string& lowered,
                             WordCountMap* counts) {
  if (lowered.empty()) return;
  ForEachToken(lowered, [&](const std::u16string& token) {
    std::int32_t& count = (*counts)[TrimSeparators(token)];
    // A count saturates rather than overflowing its 32 bits.
    if (count < std::numeric_limits<std::int32_t>::max()) ++count;
  });
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
