#include "index/postings_view.h"

#include <cstring>

namespace qoinfo {

bool PostingsView::SameEntries(const PostingsView& other) const {
  if (m_size != other.m_size) return false;
  // The encoding is canonical: equal bytes are equal entries, and a list
  // written by PostingList never differs from another with its entries.
  if (m_used == other.m_used &&
      (m_used == 0 || std::memcmp(m_bytes, other.m_bytes, m_used) == 0)) {
    return true;
  }
  const_iterator mine = begin();
  const_iterator theirs = other.begin();
  for (const const_iterator stop = end(); mine != stop; ++mine, ++theirs) {
    if (*mine != *theirs) return false;
  }
  return true;
}

}  // namespace qoinfo
