// Find: the search people type into, beside the specified Search. A query
// without quotes and without the prefix option is answered exactly as
// Search answers it (same hits, order and Percent). Two additions:
//  - Prefix: with FindOptions::prefix, the query's last word also matches
//    every indexed word it begins (at most kMaxPrefixWords of them, the
//    first in word order), each scored as a query word.
//  - Phrases: a quoted run of two or more words ("lighthouse keeper")
//    keeps only the pages whose stored text holds those words in that order;
//    the kept hits have the score, Percent and order Search gives them. A
//    quoted single word is an ordinary word.
#pragma once

#include <cstddef>
#include <string_view>

#include "agent/page_text_source.h"
#include "com/interfaces.h"
#include "index/id_container.h"
#include "index/word_to_ids_container.h"

namespace qoinfo {

struct FindOptions {
  // The query's last word may be the beginning of a word.
  bool prefix = false;
};

// The most indexed words one prefix stands for.
inline constexpr std::size_t kMaxPrefixWords = 256;

// As Search: E_INVALIDARG for an empty query (*result untouched) or a null
// `result`; otherwise a new enumerator and S_OK, also when nothing matches.
// Never throws.
HRESULT Find(std::u16string_view query, const FindOptions& options,
             PageTextSource& texts, ISearchDataEnumerator** result,
             const CIDContainer& records,
             const CWordToIdsContainer& words) noexcept;

}  // namespace qoinfo
