// CWordToIdsContainer: the inverted index. Each word maps to the pages whose
// text holds it, with the word's occurrence count in that page. Words are
// filed as given (already lowered and trimmed); a word leaves the index with
// its last page, so that nothing saved afterwards holds a word of a page
// that was forgotten.
//
// The index is a mapped image (index/index_image.h, immutable; none before
// the first save) plus what changed since, in memory: the words filed since
// (m_words, with their pages filed since) and the pages taken out since.
// Every read merges the two, so that it sees what a container that loaded
// the same pages would hold.
//
// Taking a page out would mean a walk over every word (the index does not
// know a page's words). So a removal is only noted, in a set that searches
// consult (SearchPostings(), IsRemoved()); the noted pages leave the
// postings filed since together in one walk once kPurgeAt are noted, and
// before anything reads the postings whole (ForEachWord, GetWords(), Write)
// or a removed page is filed again. Pages of the image stay noted until the
// next image is attached. What every reader sees is as if each removal had
// walked.
// Not thread-safe: the owner serialises all calls, const ones included.
#pragma once

#include <climits>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <map>
#include <string>
#include <vector>

#include "index/index_image.h"
#include "index/page_id_set.h"
#include "index/posting_list.h"
#include "index/postings_view.h"
#include "index/stream_io.h"
#include "index/word_count_map.h"
#include "index/word_lookup.h"

namespace qoinfo {

class CWordToIdsContainer {
 public:
  using Postings = PostingList;
  // Ordered by code unit; found by a word's view as well.
  using WordMap = std::map<std::u16string, Postings, std::less<>>;

  CWordToIdsContainer() = default;
  CWordToIdsContainer(const CWordToIdsContainer& other);
  CWordToIdsContainer& operator=(const CWordToIdsContainer& other);
  // A moved map keeps its entries where they are: the lookup stays true.
  CWordToIdsContainer(CWordToIdsContainer&&) = default;
  CWordToIdsContainer& operator=(CWordToIdsContainer&&) = default;
  virtual ~CWordToIdsContainer() = default;

  // Files each word's count under `id`, in word order. Stops for good at the
  // first word that already lists `id`: that word and every word after it
  // are left as they are.
  void AddWords(const WordCountMap& counts, std::int64_t id);
  // Takes `id` out of every word's postings; a word left without pages
  // goes.
  void RemoveId(std::int64_t id);
  // The index starts over from `image` (null: empty): the pages filed and
  // removed since live in memory beside it, and are merged into everything
  // read below. A save that wrote a new image attaches it.
  void AttachImage(std::shared_ptr<const IndexImage> image);
  const std::shared_ptr<const IndexImage>& image() const { return m_image; }

  // Merged copies of lists that both the image and the memory hold, kept
  // for as long as the views a search was given.
  using Scratch = std::deque<PostingList>;

  // For searches: the postings of `word` (empty when no page holds it), in
  // which pages that IsRemoved() may remain. `scratch` may be null while no
  // image is attached.
  PostingsView SearchPostings(std::u16string_view word, Scratch* scratch) const;
  // For searches: from the first word not below `from`, in word order, each
  // word with its postings as SearchPostings gives them, while `use`
  // returns true.
  void ForEachSearchWordFrom(
      std::u16string_view from, Scratch* scratch,
      const std::function<bool(std::u16string_view, const PostingsView&)>& use)
      const;
  bool IsRemoved(std::int64_t id) const;
  bool HasRemoved() const;

  // The index as it is: each word holding at least one page, in word order,
  // with its pages (removed ones taken out).
  void ForEachWord(
      const std::function<void(std::u16string_view, const PostingsView&)>& use)
      const;
  std::size_t WordCount() const;
  std::uint64_t PostingCount() const;
  // A full copy of the index.
  WordMap GetWords() const;

  // Removals noted before the postings are walked to take them out.
  static constexpr std::size_t kPurgeAt = 4096;

  // The number of words, then for each word in word order: the number of
  // its identifiers, each identifier with its count in identifier order, and
  // the word as a counted string. Reading adds the words read (of two
  // entries for one word, or one identifier, the first stays), a word
  // without identifiers too (earlier versions wrote them); writing leaves
  // such words out.
  virtual HRESULT Serialize(IStream* stream, bool bLoad,
                            StreamProblem* problem = nullptr);
  void Write(StreamWriter& writer) const;
  void Read(StreamReader& reader);


 private:
  using Lookup = WordLookup<WordMap::value_type>;

  // Takes the noted pages out of every word's postings filed since the
  // image, and the words left without pages out of the memory.
  void Purge() const;

  // Indexes every entry of m_words afresh: a load or a copy leaves that to
  // the next page filed, so that a server that only searches never pays it.
  void BuildLookup();

  // Whether the image's postings may hold `id`: those of a new page, above
  // the image's last identifier (no posting of an image is above it:
  // SaveIndexImage), never need the image read.
  bool ImageMayHold(std::int64_t id) const;
  // Whether the image's list of `word` holds `id` as a page still in the
  // index.
  bool ImageLists(std::u16string_view word, std::int64_t id) const;
  // Whether `base` (an image list) may hold a page of `pages`.
  bool MayHoldAny(const PostingsView& base, const PageIdSet& pages,
                  std::int64_t lowest, std::int64_t highest) const;
  // The image's list of the word at `at`, or an empty view.
  PostingsView ImagePostings(std::size_t at) const;
  // What a search reads for a word: `base` from the image, `delta` from
  // memory (either may be null), in a view of `base` or of `delta` when the
  // other adds nothing, else of a merged list pushed into *scratch.
  PostingsView SearchView(const PostingsView& base, const PostingList* delta,
                          Scratch* scratch) const;
  // Each word of the image and of the memory from the first not below
  // `from`, in word order, with its image list (empty when none) and its
  // list in memory (null when none), while `use` returns true.
  template <typename Use>
  void WalkWords(std::u16string_view from, Use&& use) const;
  // Counts the merged index into m_wordCount and m_postingCount.
  void Count() const;
  void Changed() { m_counted = false; }

  std::shared_ptr<const IndexImage> m_image;
  mutable WordMap m_words;
  mutable Lookup m_lookup;
  bool m_lookupComplete = true;  // m_lookup indexes every word
  mutable PageIdSet m_removed;
  // Pages of the image taken out since it was attached, with the lowest and
  // highest of them; of those, the ones filed again since (their image
  // postings are left out of every list read, and they count as present).
  PageIdSet m_imageRemoved;
  std::int64_t m_imageRemovedLow = INT64_MAX;
  std::int64_t m_imageRemovedHigh = INT64_MIN;
  PageIdSet m_imageRefiled;
  // The number of the image's postings, found by one walk of its words
  // when first needed (m_imageCounted).
  void CountImage() const;
  mutable bool m_imageCounted = false;
  mutable std::uint64_t m_imagePostings = 0;
  // The counts of the merged index, while m_counted.
  mutable bool m_counted = false;
  mutable std::size_t m_wordCount = 0;
  mutable std::uint64_t m_postingCount = 0;
  // AddWords' scratch, kept for reuse: each word's hash and entry.
  std::vector<std::size_t> m_hashes;
  std::vector<WordMap::value_type*> m_found;
  Postings m_readScratch;  // Read's list under construction
};

}  // namespace qoinfo
