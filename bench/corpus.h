// The benchmark's pages: real visited-page records read from the corpus file
// (see build_corpus.py), followed, when more are asked for, by synthetic
// pages drawn from the real pages' vocabulary and word-frequency
// distribution. Everything is deterministic for a given corpus and seed.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace qoinfo::bench {

struct Page {
  std::int64_t time = 0;
  std::string url, path, title, text;  // UTF-8
};

// Reads up to `limit` pages; false with a message on a malformed file.
bool LoadCorpus(const std::string& file, std::size_t limit,
                std::vector<Page>* pages, std::string* error);

// Word statistics of the real pages, computed with the agent's own word
// extraction: how often each word occurs, in how many pages, and how many
// words each page has.
class Vocabulary {
 public:
  explicit Vocabulary(const std::vector<Page>& pages);

  // Words (UTF-8) sorted by descending occurrence count.
  const std::vector<std::string>& words() const { return words_; }
  const std::vector<std::uint64_t>& occurrences() const { return occurrences_; }
  const std::vector<std::uint32_t>& page_counts() const { return page_counts_; }
  const std::vector<std::uint32_t>& words_per_page() const { return words_per_page_; }
  // The position of the first page holding each word.
  const std::vector<std::uint32_t>& first_page() const { return first_page_; }

 private:
  std::vector<std::string> words_;
  std::vector<std::uint64_t> occurrences_;
  std::vector<std::uint32_t> page_counts_;
  std::vector<std::uint32_t> words_per_page_;
  std::vector<std::uint32_t> first_page_;
};

// Makes synthetic pages: a page's length is that of a random real page, its
// words are drawn by their frequency in the real pages.
class ScaleGenerator {
 public:
  ScaleGenerator(const Vocabulary& vocabulary, std::uint64_t seed);
  Page Make(std::int64_t index);

 private:
  const Vocabulary& vocabulary_;
  std::vector<std::uint64_t> cumulative_;
  std::mt19937_64 rng_;
};

}  // namespace qoinfo::bench
