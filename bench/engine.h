// One search engine under benchmark: ours, or a peer fed the same words.
// Each is driven from one thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "bench/corpus.h"
#include "platform/wide_string.h"

namespace qoinfo::bench {

// UTF-8 corpus text as UTF-16, and as a BSTR (the corpus is valid UTF-8).
std::u16string Wide(const std::string& utf8);
platform::UniqueBstr BstrOf(const std::string& utf8);

// The words of a text as the agent files them (UTF-8), with their counts.
std::vector<std::pair<std::string, std::int32_t>> ExtractPageWords(
    const std::string& text);

class Engine {
 public:
  virtual ~Engine() = default;

  // Files one page (including the word extraction it needs).
  virtual void Add(const Page& page) = 0;
  // Makes everything added searchable (a commit, for engines that need one).
  virtual void FinishIndexing() {}
  // Runs `query` and takes up to `limit` hits, best first (0: all of them).
  // Returns the number of hits taken.
  virtual std::size_t Search(const std::string& query, std::size_t limit) = 0;
  // Writes the index to disk, and reads it back into a fresh index; both in
  // the engine's own directory. Returns the bytes the index takes on disk.
  // Ours: Save writes the pair of index files, SaveImage the image beside
  // them (its bytes; 0 for engines without one), and Load starts from the
  // image as the agent does, or from the pair when there is no usable image.
  virtual std::uint64_t Save() = 0;
  virtual std::uint64_t SaveImage() { return 0; }
  virtual void Load() = 0;
  // Ours: reads the pair alone into a fresh index, as the agent does when it
  // cannot use the image. False for engines that have no such fallback.
  virtual bool LoadFiles() { return false; }
  // Whether the last Load started from the image.
  virtual bool LoadedImage() const { return false; }
  // Ours: drops the index in memory and gives its memory back to the
  // system, so that a load timed next starts from nothing.
  virtual void Drop() {}
  // The (page, word) entries of the index; 0 when the engine cannot tell.
  virtual std::uint64_t Postings() const { return 0; }
  // Find (prefixes, phrases): as Search, 0 for engines that lack it.
  virtual std::size_t Find(const std::string& /*query*/, bool /*prefix*/,
                           std::size_t /*limit*/) {
    return 0;
  }
  // Keeps `page`'s text for Find's phrases, as the history would.
  virtual void KeepText(const Page& /*page*/) {}
  // Removes the page added as the `index`-th (from 0), as the agent does
  // when the history drops it; false when the engine does not measure it.
  virtual bool Forget(std::size_t /*index*/) { return false; }
};

// Our agent's index in `directory`.
std::unique_ptr<Engine> MakeQoInfoEngine(const std::string& directory);
// SQLite FTS5 over the same words, tokenized at spaces only.
std::unique_ptr<Engine> MakeFts5Engine(const std::string& directory);
// Xapian, terms with the same counts, weighted as our score.
std::unique_ptr<Engine> MakeXapianEngine(const std::string& directory);

std::uint64_t DiskUsage(const std::string& path);

}  // namespace qoinfo::bench
