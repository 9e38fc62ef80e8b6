#include "bench/corpus.h"

#include <algorithm>
#include <fstream>
#include <unordered_map>

#include "agent/word_extraction.h"
#include "bench/engine.h"
#include "platform/utf8.h"
#include "platform/wide_string.h"

namespace qoinfo::bench {

bool LoadCorpus(const std::string& file, std::size_t limit,
                std::vector<Page>* pages, std::string* error) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    *error = "cannot open " + file;
    return false;
  }
  std::string line;
  std::size_t number = 0;
  while (pages->size() < limit && std::getline(in, line)) {
    ++number;
    std::string fields[5];
    std::size_t start = 0;
    for (int f = 0; f < 5; ++f) {
      const std::size_t tab = f < 4 ? line.find('\t', start) : line.size();
      if (tab == std::string::npos) {
        *error = file + ":" + std::to_string(number) + ": expected 5 fields";
        return false;
      }
      fields[f] = line.substr(start, tab - start);
      start = tab + 1;
    }
    Page page;
    page.time = std::stoll(fields[0]);
    page.url = std::move(fields[1]);
    page.path = std::move(fields[2]);
    page.title = std::move(fields[3]);
    page.text = std::move(fields[4]);
    pages->push_back(std::move(page));
  }
  return true;
}

Vocabulary::Vocabulary(const std::vector<Page>& pages) {
  struct Stats {
    std::uint64_t occurrences = 0;
    std::uint32_t pages = 0;
    std::uint32_t first_page = 0;
  };
  std::unordered_map<std::u16string, Stats> stats;
  for (std::uint32_t position = 0; position < pages.size(); ++position) {
    const Page& page = pages[position];
    const platform::UniqueBstr bstr = BstrOf(page.text);
    std::uint32_t total = 0;
    for (const auto& [word, count] : ExtractWords(bstr.get())) {
      if (word.empty()) continue;
      Stats& entry = stats[std::u16string(word)];
      if (entry.pages == 0) entry.first_page = position;
      entry.occurrences += static_cast<std::uint64_t>(count);
      entry.pages += 1;
      total += static_cast<std::uint32_t>(count);
    }
    if (total > 0) words_per_page_.push_back(total);
  }
  std::vector<std::pair<std::u16string, Stats>> sorted(stats.begin(), stats.end());
  std::sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) {
    return a.second.occurrences != b.second.occurrences
               ? a.second.occurrences > b.second.occurrences
               : a.first < b.first;
  });
  for (const auto& [word, s] : sorted) {
    words_.push_back(platform::Utf16ToUtf8(word));
    occurrences_.push_back(s.occurrences);
    page_counts_.push_back(s.pages);
    first_page_.push_back(s.first_page);
  }
}

ScaleGenerator::ScaleGenerator(const Vocabulary& vocabulary, std::uint64_t seed)
    : vocabulary_(vocabulary), rng_(seed) {
  std::uint64_t sum = 0;
  for (const std::uint64_t n : vocabulary.occurrences()) {
    sum += n;
    cumulative_.push_back(sum);
  }
}

Page ScaleGenerator::Make(std::int64_t index) {
  Page page;
  page.time = 1'600'000'000 + index;
  page.url = "http://synthetic.example/page/" + std::to_string(index);
  page.path = "";
  const auto& lengths = vocabulary_.words_per_page();
  const std::uint32_t length = lengths[rng_() % lengths.size()];
  for (std::uint32_t i = 0; i < length; ++i) {
    const std::uint64_t pick = rng_() % cumulative_.back();
    const std::size_t w = static_cast<std::size_t>(
        std::upper_bound(cumulative_.begin(), cumulative_.end(), pick) -
        cumulative_.begin());
    if (i > 0) page.text += ' ';
    page.text += vocabulary_.words()[w];
    if (i < 6) page.title += (i ? " " : "") + vocabulary_.words()[w];
  }
  return page;
}

}  // namespace qoinfo::bench
