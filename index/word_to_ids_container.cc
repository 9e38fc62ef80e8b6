#include "index/word_to_ids_container.h"

#include "index/stream_serializable.h"

namespace qoinfo {

CWordToIdsContainer::CWordToIdsContainer(const CWordToIdsContainer& other)
    : m_words(other.words()), m_lookupComplete(false) {}

CWordToIdsContainer& CWordToIdsContainer::operator=(
    const CWordToIdsContainer& other) {
  if (this != &other) {
    WordMap copy = other.words();
    m_words.swap(copy);
    m_removed.clear();
    m_lookup.Clear();
    m_lookupComplete = false;
  }
  return *this;
}

void CWordToIdsContainer::BuildLookup() {
  Lookup lookup;
  lookup.Reserve(m_words.size());
  for (auto& entry : m_words) lookup.Insert(Lookup::HashOf(entry.first), &entry);
  m_lookup = std::move(lookup);
  m_lookupComplete = true;
}

void CWordToIdsContainer::AddWords(const WordCountMap& counts,
                                   std::int64_t id) {
  // A page filed again must not meet its own removed postings.
  if (m_removed.Contains(id)) Purge();
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
  m_removed.Insert(id);
  if (m_removed.size() >= kPurgeAt) Purge();
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

void CWordToIdsContainer::Write(StreamWriter& writer) const {
  Purge();
  // Words read without identifiers (from files of earlier versions) are
  // not written again.
  std::uint32_t written = 0;
  for (const auto& entry : m_words) written += entry.second.empty() ? 0 : 1;
  writer.PutFixed32(written);
  for (const auto& [word, postings] : m_words) {
    if (postings.empty()) continue;
    writer.PutFixed32(static_cast<std::uint32_t>(postings.size()));
    for (const auto& [id, count] : postings) {
      writer.PutFixed64(id);
      writer.PutFixed32(static_cast<std::uint32_t>(count));
    }
    writer.PutCountedString(word);
  }
}

void CWordToIdsContainer::Read(StreamReader& reader) {
  Purge();
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
