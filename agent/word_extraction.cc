#include "agent/word_extraction.h"

#include <algorithm>
#include <bitset>
#include <cstdint>
#include <functional>
#include <limits>
#include <string_view>
#include <utility>
#include <vector>

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
  const std::bitset<65536>& space = platform::SplitSpaceUnits();
  std::size_t at = 0;
  if (!text.empty() && space[text[0]]) visit(text.substr(0, 0));
  while (at < text.size()) {
    while (at < text.size() && space[text[at]]) ++at;
    if (at == text.size()) break;
    const std::size_t start = at;
    while (at < text.size() && !space[text[at]]) ++at;
    visit(text.substr(start, at - start));
  }
}

// Counts the trimmed tokens of a text in an open-addressing table of views
// into it, at most half full.
class TokenCounter {
 public:
  static std::vector<std::pair<std::u16string_view, std::int64_t>> Count(
      std::u16string_view text) {
    TokenCounter counter;
    ForEachToken(text, [&](std::u16string_view token) {
      counter.Add(TrimmedView(token));
    });
    std::vector<std::pair<std::u16string_view, std::int64_t>> counted;
    counted.reserve(counter.m_used);
    for (const Slot& slot : counter.m_slots) {
      if (slot.times != 0) counted.emplace_back(slot.word, slot.times);
    }
    return counted;
  }

 private:
  struct Slot {
    std::u16string_view word;
    std::size_t hash = 0;
    std::int64_t times = 0;  // 0: free
  };

  TokenCounter() : m_slots(64) {}

  void Add(std::u16string_view word) {
    const std::size_t hash = std::hash<std::u16string_view>{}(word);
    Slot& slot = Probe(m_slots, word, hash);
    if (slot.times == 0) {
      slot.word = word;
      slot.hash = hash;
      if (++m_used * 2 > m_slots.size()) {
        slot.times = 1;
        Grow();
        return;
      }
    }
    ++slot.times;
  }

  static Slot& Probe(std::vector<Slot>& slots, std::u16string_view word,
                     std::size_t hash) {
    const std::size_t mask = slots.size() - 1;
    for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
      Slot& slot = slots[at];
      if (slot.times == 0 || (slot.hash == hash && slot.word == word)) return slot;
    }
  }

  void Grow() {
    std::vector<Slot> grown(m_slots.size() * 2);
    for (const Slot& slot : m_slots) {
      if (slot.times != 0) Probe(grown, slot.word, slot.hash) = slot;
    }
    m_slots.swap(grown);
  }

  std::vector<Slot> m_slots;
  std::size_t m_used = 0;
};

}  // namespace

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

void WordsInOrder(std::u16string_view text, std::vector<TextWord>* words) {
  words->clear();
  ForEachToken(text, [&](std::u16string_view token) {
    if (token.empty()) return;
    const std::size_t begin = static_cast<std::size_t>(token.data() - text.data());
    words->push_back({begin, begin + token.size(), TrimmedView(token)});
  });
}

WordCountMap ExtractWords(BSTR text) {
  // The text up to its first NUL, lowered in the copy it is counted from.
  std::u16string lowered = platform::FromOleString(text);
  if (lowered.empty()) return {};
  platform::LowerCaseInPlace(lowered);
  // Counted over views into the text first, in a flat table (one block for
  // the text, not one per word), so that each distinct word is copied once;
  // then filed in word order.
  std::vector<std::pair<std::u16string_view, std::int64_t>> sorted =
      TokenCounter::Count(lowered);
  std::sort(sorted.begin(), sorted.end());
  WordCountMap counts;
  counts.ReserveFor(sorted);
  for (const auto& [word, times] : sorted) {
    // A count saturates rather than overflowing its 32 bits.
    constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
    counts.Insert(word, static_cast<std::int32_t>(std::min(kMax, times)));
  }
  return counts;
}

}  // namespace qoinfo
