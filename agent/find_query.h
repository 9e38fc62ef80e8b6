// FindQuery: what Find reads in a query beyond its words: the phrases in
// quotes and the word the person is still typing. Find and the snippets read
// queries through it, so that what is marked is what matched.
//
// - The query is read up to its first NUL, as Search reads it.
// - Quotes pair up in the order they come (the first with the second, the
//   third with the fourth, ...); a last quote without a partner plays no
//   part. The words between a pair, read as the agent reads a text (lowered,
//   split at white space, separators trimmed, words of separators only
//   left out), make a phrase when there are two or more of them.
// - With FindOptions::prefix, the last word is a prefix unless the query
//   ends in white space (the person has finished that word), the word is
//   empty, or its token touches a pair of quotes (a closed phrase is
//   finished too).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "agent/find.h"

namespace qoinfo {

struct FindQuery {
  // The query's phrases, each of two or more lowered words, in query order.
  std::vector<std::vector<std::u16string>> phrases;
  // The lowered word the query's last word stands for the beginning of;
  // empty when none does.
  std::u16string prefix;
};

// Raises std::bad_alloc when out of memory.
FindQuery ReadFindQuery(std::u16string_view query, const FindOptions& options);

}  // namespace qoinfo
