#include "index/word_to_ids_container.h"

#include <algorithm>
#include <utility>

#include "index/stream_serializable.h"

namespace qoinfo {
namespace {

void AssignView(const PostingsView& view, PostingList* out) {
  out->AssignEncoded(view.bytes(), view.byte_size(),
                     static_cast<std::uint32_t>(view.size()), view.last_id());
}

// Fills `out` with the entries of `base` that `keep` accepts and those of
// `delta`, by identifier; of one identifier in both, the base's stays when
// kept.
template <typename Keep>
void MergeById(const PostingsView& base, Keep&& keep, const PostingsView& delta,
               PostingList* out) {
  out->clear();
  auto b = base.begin();
  auto d = delta.begin();
  const auto b_end = base.end();
  const auto d_end = delta.end();
  while (b != b_end || d != d_end) {
    if (d == d_end || (b != b_end && b->first < d->first)) {
      if (keep(b->first)) out->emplace(b->first, b->second);
      ++b;
    } else if (b != b_end && b->first == d->first) {
      if (keep(b->first)) {
        out->emplace(b->first, b->second);
        ++d;
      }
      ++b;
    } else {
      out->emplace(d->first, d->second);
      ++d;
    }
  }
}

// Fills `out` with the entries of both lists. Pages filed since the image
// mostly come after all of its pages: then the bytes are copied, not
// decoded.
void Combine(const PostingsView& base, const PostingsView& delta,
             PostingList* out) {
  if (delta.empty() || base.empty()) {
    AssignView(delta.empty() ? base : delta, out);
  } else if (delta.front().first > base.last_id()) {
    AssignView(base, out);
    out->AppendAbove(delta);
  } else if (base.front().first > delta.last_id()) {
    AssignView(delta, out);
    out->AppendAbove(base);
  } else {
    MergeById(base, [](std::int64_t) { return true; }, delta, out);
  }
}

// A word's list as read: `base` less the pages of `left_out` (when
// `filter`), with `delta`. A view of either list itself when the other adds
// nothing; otherwise of the merge, written to the list storage() gives.
template <typename Storage>
PostingsView MergedView(const PostingsView& base, bool filter,
                        const PageIdSet& left_out, const PostingList* delta,
                        Storage&& storage) {
  const bool no_delta = delta == nullptr || delta->empty();
  if (!filter && no_delta) return base;
  if (!filter && base.empty()) return delta->View();
  PostingList& merged = storage();
  const PostingsView delta_view = no_delta ? PostingsView() : delta->View();
  if (filter) {
    MergeById(base,
              [&left_out](std::int64_t id) { return !left_out.Contains(id); },
              delta_view, &merged);
  } else {
    Combine(base, delta_view, &merged);
  }
  return merged.View();
}

}  // namespace

CWordToIdsContainer::CWordToIdsContainer(const CWordToIdsContainer& other) {
  *this = other;
}

CWordToIdsContainer& CWordToIdsContainer::operator=(
    const CWordToIdsContainer& other) {
  if (this != &other) {
    other.Purge();
    WordMap copy = other.m_words;
    m_words.swap(copy);
    m_removed.clear();
    m_lookup.Clear();
    m_lookupComplete = false;
    // The image is immutable: the copy shares it.
    m_image = other.m_image;
    m_imageRemoved = other.m_imageRemoved;
    m_imageRemovedLow = other.m_imageRemovedLow;
    m_imageRemovedHigh = other.m_imageRemovedHigh;
    m_imageRefiled = other.m_imageRefiled;
    m_imageCounted = other.m_imageCounted;
    m_imagePostings = other.m_imagePostings;
    Changed();
  }
  return *this;
}

void CWordToIdsContainer::AttachImage(std::shared_ptr<const IndexImage> image) {
  m_image = std::move(image);
  WordMap().swap(m_words);
  m_lookup = Lookup();
  m_lookupComplete = true;
  m_removed.clear();
  m_imageRemoved.clear();
  m_imageRemovedLow = INT64_MAX;
  m_imageRemovedHigh = INT64_MIN;
  m_imageRefiled.clear();
  m_imageCounted = false;
  m_imagePostings = 0;
  Changed();
}

void CWordToIdsContainer::BuildLookup() {
  Lookup lookup;
  lookup.Reserve(m_words.size());
  for (auto& entry : m_words) lookup.Insert(Lookup::HashOf(entry.first), &entry);
  m_lookup = std::move(lookup);
  m_lookupComplete = true;
}

void CWordToIdsContainer::CountImage() const {
  if (m_imageCounted) return;
  std::uint64_t postings = 0;
  if (m_image != nullptr) {
    for (std::size_t at = 0; at < m_image->word_count(); ++at) {
      postings += m_image->PostingsAt(at).size();
    }
  }
  m_imagePostings = postings;
  m_imageCounted = true;
}

bool CWordToIdsContainer::ImageMayHold(std::int64_t id) const {
  return m_image != nullptr && id <= m_image->last_id();
}

bool CWordToIdsContainer::ImageLists(std::u16string_view word,
                                     std::int64_t id) const {
  if (m_imageRemoved.Contains(id)) return false;  // its image postings are out
  const PostingsView list = ImagePostings(m_image->FindWord(word));
  if (list.empty() || id > list.last_id()) return false;
  for (auto it = list.begin(), stop = list.end(); it != stop; ++it) {
    if (it->first == id) return true;
    if (it->first > id) break;
  }
  return false;
}

PostingsView CWordToIdsContainer::ImagePostings(std::size_t at) const {
  if (m_image == nullptr || at >= m_image->word_count()) return {};
  return m_image->PostingsAt(at);
}

bool CWordToIdsContainer::MayHoldAny(const PostingsView& base,
                                     const PageIdSet& pages,
                                     std::int64_t lowest,
                                     std::int64_t highest) const {
  if (base.empty() || pages.empty()) return false;
  if (highest < base.front().first || lowest > base.last_id()) return false;
  bool any = false;
  for (auto it = base.begin(), stop = base.end(); it != stop && !any; ++it) {
    any = pages.Contains(it->first);
  }
  return any;
}

void CWordToIdsContainer::AddWords(const WordCountMap& counts,
                                   std::int64_t id) {
  Changed();
  // A page filed again must not meet its own removed postings.
  if (m_removed.Contains(id)) Purge();
  // A new page (above every page of the image) never reads the image; a
  // page the image may hold stops at a word whose image list holds it.
  const bool in_image = ImageMayHold(id);
  if (in_image && m_imageRemoved.Contains(id)) m_imageRefiled.Insert(id);
  if (!m_lookupComplete) BuildLookup();
  // The page's words go through the lookup in stages, each starting the
  // memory loads the next one needs for every word, so that filing waits
  // for memory a few times a page instead of a few times a word: hash and
  // fetch the slots, fetch the entries they hold, find each word and fetch
  // the end of its postings, then append.
  m_hashes.clear();
  for (const auto& entry : counts) {
    m_hashes.push_back(Lookup::HashOf(entry.first));
    m_lookup.Prefetch(m_hashes.back());
  }
  for (const std::size_t hash : m_hashes) m_lookup.PrefetchEntry(hash);
  m_found.clear();
  auto hash = m_hashes.begin();
  for (const auto& entry : counts) {
    WordMap::value_type* found = m_lookup.Find(*hash++, entry.first);
    if (found != nullptr) found->second.PrefetchTail();
    m_found.push_back(found);
  }
  hash = m_hashes.begin();
  auto found = m_found.begin();
  for (const auto& [word, count] : counts) {
    if (in_image && ImageLists(word, id)) return;
    WordMap::value_type* entry = *found++;
    if (entry == nullptr) {
      m_lookup.Reserve(m_words.size() + 1);  // then Insert cannot fail
      entry = &*m_words.try_emplace(std::u16string(word)).first;
      m_lookup.Insert(*hash, entry);
    }
    ++hash;
    if (!entry->second.emplace(id, count)) return;
  }
}

void CWordToIdsContainer::RemoveId(std::int64_t id) {
  Changed();
  if (ImageMayHold(id) && !m_imageRemoved.Contains(id)) {
    m_imageRemoved.Insert(id);
    m_imageRemovedLow = std::min(m_imageRemovedLow, id);
    m_imageRemovedHigh = std::max(m_imageRemovedHigh, id);
  }
  m_removed.Insert(id);
  if (m_removed.size() >= kPurgeAt) Purge();
}

bool CWordToIdsContainer::IsRemoved(std::int64_t id) const {
  return m_removed.Contains(id) ||
         (m_imageRemoved.Contains(id) && !m_imageRefiled.Contains(id));
}

bool CWordToIdsContainer::HasRemoved() const {
  return !m_removed.empty() || m_imageRemoved.size() > m_imageRefiled.size();
}

void CWordToIdsContainer::Purge() const {
  if (m_removed.empty()) return;
  for (auto entry = m_words.begin(); entry != m_words.end();) {
    Postings& postings = entry->second;
    postings.erase_if([this](std::int64_t id) { return m_removed.Contains(id); });
    if (!postings.empty()) {
      ++entry;
      continue;
    }
    if (m_lookupComplete) m_lookup.Erase(Lookup::HashOf(entry->first), &*entry);
    entry = m_words.erase(entry);
  }
  m_removed.clear();
}

template <typename Use>
void CWordToIdsContainer::WalkWords(std::u16string_view from, Use&& use) const {
  std::size_t at = 0;
  std::size_t stop = 0;
  if (m_image != nullptr) {
    stop = m_image->word_count();
    at = from.empty() ? 0 : m_image->LowerBound(from);
  }
  auto it = from.empty() ? m_words.begin() : m_words.lower_bound(from);
  while (at < stop || it != m_words.end()) {
    if (at < stop) {
      const std::u16string_view word = m_image->WordAt(at);
      const bool image_first =
          it == m_words.end() || word < std::u16string_view(it->first);
      if (image_first || word == std::u16string_view(it->first)) {
        const PostingList* delta = image_first ? nullptr : &it->second;
        if (!use(word, m_image->PostingsAt(at), delta)) return;
        ++at;
        if (!image_first) ++it;
        continue;
      }
    }
    if (!use(std::u16string_view(it->first), PostingsView(), &it->second)) return;
    ++it;
  }
}

PostingsView CWordToIdsContainer::SearchView(const PostingsView& base,
                                             const PostingList* delta,
                                             Scratch* scratch) const {
  // Pages of the image filed again since: their image postings are out.
  const bool filter = !m_imageRefiled.empty() &&
                      MayHoldAny(base, m_imageRefiled, m_imageRemovedLow,
                                 m_imageRemovedHigh);
  return MergedView(base, filter, m_imageRefiled, delta,
                    [scratch]() -> PostingList& {
                      scratch->emplace_back();
                      return scratch->back();
                    });
}

PostingsView CWordToIdsContainer::SearchPostings(std::u16string_view word,
                                                 Scratch* scratch) const {
  PostingsView base;
  if (m_image != nullptr) base = ImagePostings(m_image->FindWord(word));
  const auto found = m_words.find(word);
  return SearchView(base, found == m_words.end() ? nullptr : &found->second,
                    scratch);
}

void CWordToIdsContainer::ForEachSearchWordFrom(
    std::u16string_view from, Scratch* scratch,
    const std::function<bool(std::u16string_view, const PostingsView&)>& use)
    const {
  WalkWords(from, [&](std::u16string_view word, const PostingsView& base,
                      const PostingList* delta) {
    return use(word, SearchView(base, delta, scratch));
  });
}

void CWordToIdsContainer::ForEachWord(
    const std::function<void(std::u16string_view, const PostingsView&)>& use)
    const {
  Purge();
  PostingList merged;
  WalkWords({}, [&](std::u16string_view word, const PostingsView& base,
                    const PostingList* delta) {
    // Pages of the image taken out since leave its lists here.
    const bool filter = MayHoldAny(base, m_imageRemoved, m_imageRemovedLow,
                                   m_imageRemovedHigh);
    const PostingsView list =
        MergedView(base, filter, m_imageRemoved, delta,
                   [&merged]() -> PostingList& { return merged; });
    if (!list.empty()) use(word, list);
    return true;
  });
}

void CWordToIdsContainer::Count() const {
  if (m_counted) return;
  std::size_t words = 0;
  std::uint64_t postings = 0;
  if (m_image == nullptr) {
    // The memory alone (as after a load): one pass over its lists.
    Purge();
    for (const auto& entry : m_words) {
      const std::size_t size = entry.second.size();
      words += size != 0 ? 1 : 0;
      postings += size;
    }
  } else if (!m_imageRemoved.empty()) {
    ForEachWord([&](std::u16string_view, const PostingsView& list) {
      ++words;
      postings += list.size();
    });
  } else {
    // Nothing of the image is out: its counts, plus what came since.
    Purge();
    CountImage();
    words = m_image->word_count();
    postings = m_imagePostings;
    for (const auto& [word, list] : m_words) {
      if (list.empty()) continue;
      postings += list.size();
      if (m_image->FindWord(word) >= m_image->word_count()) ++words;
    }
  }
  m_wordCount = words;
  m_postingCount = postings;
  m_counted = true;
}

std::size_t CWordToIdsContainer::WordCount() const {
  Count();
  return m_wordCount;
}

std::uint64_t CWordToIdsContainer::PostingCount() const {
  Count();
  return m_postingCount;
}

CWordToIdsContainer::WordMap CWordToIdsContainer::GetWords() const {
  WordMap copy;
  ForEachWord([&](std::u16string_view word, const PostingsView& list) {
    PostingList postings;
    AssignView(list, &postings);
    copy.emplace_hint(copy.end(), std::u16string(word), std::move(postings));
  });
  // Words read without pages (from files of earlier versions) are held
  // until written.
  for (const auto& [word, list] : m_words) {
    if (list.empty()) copy.try_emplace(word);
  }
  return copy;
}

void CWordToIdsContainer::Write(StreamWriter& writer) const {
  // Words read without identifiers (from files of earlier versions) are
  // not written again.
  writer.PutFixed32(static_cast<std::uint32_t>(WordCount()));
  ForEachWord([&](std::u16string_view word, const PostingsView& postings) {
    writer.PutFixed32(static_cast<std::uint32_t>(postings.size()));
    postings.ForEach([&](std::int64_t id, std::int32_t count) {
      writer.PutFixed64(id);
      writer.PutFixed32(static_cast<std::uint32_t>(count));
    });
    writer.PutCountedString(word);
  });
}

void CWordToIdsContainer::Read(StreamReader& reader) {
  Purge();
  Changed();
  constexpr std::uint64_t kPostingBytes = 12;
  std::uint32_t word_count = 0;
  if (!reader.ReadFixed32(&word_count, "the word count")) return;
  // The words read are indexed when the next page is filed.
  m_lookupComplete = false;
  const std::u16string* previous = nullptr;
  for (std::uint32_t w = 0; w < word_count; ++w) {
    const std::uint64_t at = reader.offset();
    std::uint32_t id_count = 0;
    if (!reader.ReadFixed32(&id_count, "an identifier count")) return;
    if (id_count * kPostingBytes > reader.remaining()) {
      reader.Report(at, std::to_string(id_count) +
                            " identifiers run past the end of the stream",
                    true);
      return;
    }
    // Built in one list that keeps its room, then copied at its exact size.
    m_readScratch.clear();
    std::int64_t previous_id = 0;
    const auto file = [&](std::uint64_t pair_at, std::int64_t id, std::uint32_t count) {
      if (!m_readScratch.empty() && id <= previous_id) {
        reader.Report(pair_at, "identifier " + std::to_string(id) + " out of order",
                      false);
      }
      if (static_cast<std::int32_t>(count) < 1) {
        reader.Report(pair_at, "occurrence count " +
                                   std::to_string(static_cast<std::int32_t>(count)) +
                                   " below 1", false);
      }
      previous_id = id;
      m_readScratch.emplace(id, static_cast<std::int32_t>(count));
    };
    // The pairs are decoded where they lie in the reader's buffer.
    for (std::uint32_t i = 0; i < id_count;) {
      std::uint64_t pair_at = reader.offset();
      const std::string_view pairs = reader.TakeElements(kPostingBytes, id_count - i);
      if (pairs.empty()) {
        // The stream ends inside this pair: read it field by field to say where.
        std::int64_t id = 0;
        std::uint32_t count = 0;
        if (!reader.ReadFixed64(&id, "an identifier") ||
            !reader.ReadFixed32(&count, "an occurrence count")) {
          return;
        }
        file(pair_at, id, count);
        ++i;
        continue;
      }
      const auto* bytes = reinterpret_cast<const unsigned char*>(pairs.data());
      for (std::size_t at = 0; at < pairs.size(); at += kPostingBytes, ++i) {
        file(pair_at, static_cast<std::int64_t>(DecodeFixed64(bytes + at)),
             DecodeFixed32(bytes + at + 8));
        pair_at += kPostingBytes;
      }
    }
    Postings postings(m_readScratch);
    std::u16string word;
    if (!reader.ReadCountedString(&word, "a word")) return;
    // Files are written in word order: the end is the place to insert.
    const auto entry =
        m_words.emplace_hint(m_words.end(), std::move(word), std::move(postings));
    if (previous != nullptr && !(*previous < entry->first)) {
      reader.Report(at, "word out of order", false);
    }
    previous = &entry->first;
  }
  if (reader.remaining() > 0) {
    reader.Report(reader.offset(),
                  std::to_string(reader.remaining()) + " bytes after the last word",
                  false);
  }
}

HRESULT CWordToIdsContainer::Serialize(IStream* stream, bool bLoad,
                                       StreamProblem* problem) {
  return SerializeWith(
      stream, bLoad, problem, [&](StreamReader& r) { Read(r); },
      [&](StreamWriter& w) { Write(w); });
}

}  // namespace qoinfo
