// qoinfo-bench: indexes N visited pages with one engine and measures it.
//
//   qoinfo-bench --corpus build/bench/corpus.tsv --pages 100000 --engine ours
//
// The pages are the corpus's real pages, then synthetic pages drawn from
// their vocabulary (corpus.h). The queries are fixed for a corpus: 1-3 words
// drawn from its vocabulary, in four classes (rare single words, common
// single words, two words, three words). The steps: index; the timed rounds
// of queries on the index in memory; save (ours: the pair of index files,
// then the image); load (ours: the pair alone, then the start from the
// image, as the agent starts); the timed rounds again on the index read
// back, which must give the same hit counts; forget pages.
// Prints one JSON object: pages per second to index, first-page (best 20
// hits) and full-enumeration latency p50/p99 per class, save and load
// times, the index size on disk, and resident memory. Run one engine per
// process, so that peak memory is its own.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <random>
#include <filesystem>
#include <set>
#include <sstream>
#include <unordered_map>

#include <unistd.h>

#include "agent/word_extraction.h"
#include "bench/engine.h"
#include "platform/mapped_file.h"
#include "platform/text_case.h"
#include "platform/utf8.h"

namespace {

using namespace qoinfo::bench;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// VmHWM (peak) or VmRSS (current) of this process, in bytes.
std::uint64_t MemoryFromStatus(const char* key) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(key, 0) == 0) {
      return std::stoull(line.substr(std::strlen(key))) * 1024;
    }
  }
  return 0;
}

struct Query {
  std::string text;
  std::string kind;
};

std::vector<Query> MakeQueries(const Vocabulary& vocabulary, std::uint64_t seed,
                               std::size_t per_kind) {
  std::mt19937_64 rng(seed);
  const auto& words = vocabulary.words();
  const auto& pages = vocabulary.page_counts();
  std::vector<Query> queries;
  // Rare: words found in exactly one real page, among the first 10,000
  // (which every size indexes), spread over the list.
  std::vector<std::size_t> rare;
  for (std::size_t i = 0; i < words.size(); ++i) {
    if (pages[i] == 1 && vocabulary.first_page()[i] < 10000 && words[i].size() >= 4) {
      rare.push_back(i);
    }
  }
  for (std::size_t k = 0; k < per_kind && !rare.empty(); ++k) {
    queries.push_back({words[rare[(k * rare.size()) / per_kind]], "rare"});
  }
  for (std::size_t k = 0; k < per_kind && k < words.size(); ++k) {
    queries.push_back({words[k], "common"});
  }
  const std::size_t pool = std::min<std::size_t>(words.size(), 5000);
  for (const auto& [count, kind] : {std::pair{2, "two"}, std::pair{3, "three"}}) {
    for (std::size_t k = 0; k < per_kind; ++k) {
      std::string text;
      for (int w = 0; w < count; ++w) {
        text += (w ? " " : "") + words[20 + rng() % (pool - 20)];
      }
      queries.push_back({text, kind});
    }
  }
  return queries;
}

// Queries for Find (--find): two-letter prefixes of the most frequent
// words, typed alone with the prefix option; and phrases of two words that
// follow each other in a real page, both among the 5,000 most frequent
// words but not the 20 most frequent. `words` gets each phrase's words.
struct FindQuery {
  std::string text;
  std::string kind;
  bool prefix = false;
};

std::vector<std::u16string> WordsOfText(const std::string& text) {
  std::u16string lowered = Wide(text);
  platform::LowerCaseInPlace(lowered);
  std::vector<std::u16string> tokens, words;
  qoinfo::SplitAtWhiteSpace(lowered, &tokens);
  for (const std::u16string& token : tokens) {
    std::u16string word = qoinfo::TrimSeparators(token);
    if (!word.empty()) words.push_back(std::move(word));
  }
  return words;
}

std::vector<FindQuery> MakeFindQueries(
    const Vocabulary& vocabulary, const std::vector<Page>& real,
    std::uint64_t seed, std::size_t per_kind,
    std::vector<std::vector<std::string>>* phrase_words) {
  std::vector<FindQuery> queries;
  std::set<std::u16string> prefixes;
  for (const std::string& word : vocabulary.words()) {
    if (prefixes.size() == per_kind) break;
    const std::u16string wide = Wide(word);
    if (wide.size() < 3 || (wide[1] >= 0xD800 && wide[1] <= 0xDFFF)) continue;
    if (prefixes.insert(wide.substr(0, 2)).second) {
      queries.push_back({platform::Utf16ToUtf8(wide.substr(0, 2)), "prefix", true});
    }
  }
  std::unordered_map<std::string, std::size_t> rank;
  for (std::size_t i = 0; i < vocabulary.words().size() && i < 5000; ++i) {
    rank[vocabulary.words()[i]] = i;
  }
  auto usual = [&](const std::string& word) {
    const auto found = rank.find(word);
    return found != rank.end() && found->second >= 20;
  };
  std::mt19937_64 rng(seed);
  for (std::size_t tries = 0; phrase_words->size() < per_kind && tries < 100000;
       ++tries) {
    const std::vector<std::u16string> words = WordsOfText(real[rng() % real.size()].text);
    if (words.size() < 2) continue;
    const std::size_t at = rng() % (words.size() - 1);
    const std::string first = platform::Utf16ToUtf8(words[at]);
    const std::string second = platform::Utf16ToUtf8(words[at + 1]);
    if (first == second || !usual(first) || !usual(second)) continue;
    phrase_words->push_back({first, second});
    queries.push_back({"\"" + first + " " + second + "\"", "phrase", false});
  }
  return queries;
}

double Percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t index = static_cast<std::size_t>(p * (values.size() - 1) + 0.5);
  return values[index];
}

std::string Json(const std::string& s) {
  std::string out = "\"";
  for (const char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

// Per class: each run's first-page and all-hits milliseconds, and the
// first round's hit counts.
struct QueryTimes {
  std::map<std::string, std::vector<double>> first_page, all_hits, hit_counts;
};

// Runs each query `rounds` times: its first page, then every hit.
QueryTimes RunQueries(Engine& engine, const std::vector<Query>& queries,
                      const std::vector<FindQuery>& find_queries,
                      std::size_t rounds) {
  QueryTimes times;
  auto measure = [&](const std::string& kind, std::size_t round,
                     const std::function<std::size_t(std::size_t)>& search) {
    auto start = Clock::now();
    search(20);
    times.first_page[kind].push_back(Seconds(Clock::now() - start) * 1e3);
    start = Clock::now();
    const std::size_t hits = search(0);
    times.all_hits[kind].push_back(Seconds(Clock::now() - start) * 1e3);
    if (round == 0) times.hit_counts[kind].push_back(static_cast<double>(hits));
  };
  for (std::size_t round = 0; round < rounds; ++round) {
    for (const Query& q : queries) {
      measure(q.kind, round, [&](std::size_t limit) { return engine.Search(q.text, limit); });
    }
    for (const FindQuery& q : find_queries) {
      measure(q.kind, round,
              [&](std::size_t limit) { return engine.Find(q.text, q.prefix, limit); });
    }
  }
  return times;
}

std::string QueriesJson(const QueryTimes& times) {
  std::ostringstream out;
  out << "{";
  bool first = true;
  for (const auto& [kind, first_page] : times.first_page) {
    const auto& all = times.all_hits.at(kind);
    out << (first ? "" : ",") << Json(kind)
        << ":{\"first_p50_ms\":" << Percentile(first_page, 0.5)
        << ",\"first_p99_ms\":" << Percentile(first_page, 0.99)
        << ",\"all_p50_ms\":" << Percentile(all, 0.5)
        << ",\"all_p99_ms\":" << Percentile(all, 0.99)
        << ",\"hits_p50\":" << Percentile(times.hit_counts.at(kind), 0.5) << "}";
    first = false;
  }
  return out.str() + "}";
}

// The queries, a "kind<TAB>text" line each, for bench/server_start.py.
void WriteQueries(const std::string& path, const std::vector<Query>& queries) {
  std::ofstream out(path);
  for (const Query& q : queries) out << q.kind << "\t" << q.text << "\n";
}

int Usage() {
  std::cerr << "usage: qoinfo-bench --corpus FILE --pages N --engine ours|fts5|xapian\n"
               "                    [--work DIR] [--queries PER_KIND] [--rounds R] [--keep]\n"
               "                    [--find | --only-find]\n"
               "--keep leaves the engine's files in DIR for a closer look (ours:\n"
               "       with queries.tsv, the queries, for bench/server_start.py).\n"
               "--find adds Find's classes (two-letter prefixes, phrases; ours only);\n"
               "       the texts of the pages holding a phrase's words are kept in memory;\n"
               "--only-find runs Find's classes alone.\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string corpus_file, engine_name = "ours", work = "build/bench/work";
  std::size_t pages = 10000, per_kind = 50, rounds = 3;
  bool keep = false, find = false, only_find = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> std::string { return i + 1 < argc ? argv[++i] : ""; };
    if (arg == "--corpus") corpus_file = value();
    else if (arg == "--pages") pages = std::stoull(value());
    else if (arg == "--engine") engine_name = value();
    else if (arg == "--work") work = value();
    else if (arg == "--queries") per_kind = std::stoull(value());
    else if (arg == "--rounds") rounds = std::stoull(value());
    else if (arg == "--keep") keep = true;
    else if (arg == "--find") find = true;
    else if (arg == "--only-find") find = only_find = true;
    else return Usage();
  }
  if (corpus_file.empty() || rounds == 0 || pages == 0) return Usage();

  std::vector<Page> real;
  std::string error;
  if (!LoadCorpus(corpus_file, SIZE_MAX, &real, &error)) {
    std::cerr << "qoinfo-bench: " << error << "\n";
    return 1;
  }
  const Vocabulary vocabulary(real);
  std::vector<Query> queries = MakeQueries(vocabulary, 42, per_kind);
  ScaleGenerator generator(vocabulary, 7);
  if (only_find) queries.clear();
  std::vector<std::vector<std::string>> phrase_words;
  const std::vector<FindQuery> find_queries =
      find ? MakeFindQueries(vocabulary, real, 43, std::min<std::size_t>(per_kind, 20),
                             &phrase_words)
           : std::vector<FindQuery>();

  std::unique_ptr<Engine> engine;
  const std::string directory = work + "/" + engine_name + "-" + std::to_string(pages);
  if (engine_name == "ours") {
    engine = MakeQoInfoEngine(directory);
#ifdef QOINFO_BENCH_FTS5
  } else if (engine_name == "fts5") {
    engine = MakeFts5Engine(directory);
#endif
#ifdef QOINFO_BENCH_XAPIAN
  } else if (engine_name == "xapian") {
    engine = MakeXapianEngine(directory);
#endif
  } else {
    std::cerr << "qoinfo-bench: engine '" << engine_name << "' is not built in\n";
    return 2;
  }
  const std::uint64_t baseline_rss = MemoryFromStatus("VmRSS:");
  // The base of the memory after the load: the corpus without what reading
  // it left over (which indexing reuses, and the load's drop gives back).
  platform::ReleaseFreedMemory();
  const std::uint64_t baseline_anon = MemoryFromStatus("RssAnon:");

  // Index.
  Clock::duration index_time{};
  const std::size_t step = std::max<std::size_t>(pages / 20, 1);
  for (std::size_t i = 0; i < pages; ++i) {
    Page synthetic;
    const Page& page = i < real.size() ? real[i] : (synthetic = generator.Make(static_cast<std::int64_t>(i)));
    if (!phrase_words.empty()) {
      // Untimed: whether a phrase could match this page.
      std::set<std::string> words;
      for (auto& [word, count] : ExtractPageWords(page.text)) words.insert(word);
      for (const auto& phrase : phrase_words) {
        if (words.count(phrase[0]) && words.count(phrase[1])) {
          engine->KeepText(page);
          break;
        }
      }
    }
    const auto start = Clock::now();
    engine->Add(page);
    index_time += Clock::now() - start;
    if ((i + 1) % step == 0) {
      std::fprintf(stderr, "\r%s: indexed %zu/%zu pages", engine_name.c_str(), i + 1, pages);
    }
  }
  std::fprintf(stderr, "\n");
  {
    const auto start = Clock::now();
    engine->FinishIndexing();
    index_time += Clock::now() - start;
  }
  const std::uint64_t indexed_rss = MemoryFromStatus("VmRSS:");

  // The rounds on the index as it was filed, in memory (what searches cost
  // before the image, to compare with); the index read back must give the
  // same hit counts.
  const QueryTimes in_memory = RunQueries(*engine, queries, find_queries, rounds);

  // Save: the pair of index files, then the image beside them.
  auto start = Clock::now();
  const std::uint64_t disk_bytes = engine->Save();
  const double files_save_seconds = Seconds(Clock::now() - start);
  start = Clock::now();
  const std::uint64_t image_bytes = engine->SaveImage();
  const double image_save_seconds = Seconds(Clock::now() - start);
  // Load: the pair alone (what the agent falls back to), then the start
  // from the image (the pair again when there is no usable image).
  double files_load_seconds = 0;
  engine->Drop();
  start = Clock::now();
  if (engine->LoadFiles()) files_load_seconds = Seconds(Clock::now() - start);
  engine->Drop();
  start = Clock::now();
  engine->Load();
  const double load_seconds = Seconds(Clock::now() - start);
  const std::uint64_t loaded_anon = MemoryFromStatus("RssAnon:");

  // What the same bytes cost as one plain file: written and flushed, then
  // read back (from the page cache, as the load above reads the saved files).
  double plain_write_seconds = 0, plain_read_seconds = 0;
  if (engine_name == "ours") {
    const std::string plain = directory + "/plain.bin";
    std::vector<char> block(1 << 20, 'x');
    start = Clock::now();
    std::FILE* out = std::fopen(plain.c_str(), "wb");
    for (std::uint64_t left = disk_bytes; out != nullptr && left > 0;) {
      const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, block.size()));
      std::fwrite(block.data(), 1, n, out);
      left -= n;
    }
    if (out != nullptr) {
      std::fflush(out);
      fsync(fileno(out));
      std::fclose(out);
    }
    plain_write_seconds = Seconds(Clock::now() - start);
    start = Clock::now();
    if (std::FILE* in = std::fopen(plain.c_str(), "rb")) {
      while (std::fread(block.data(), 1, block.size(), in) == block.size()) {
      }
      std::fclose(in);
    }
    plain_read_seconds = Seconds(Clock::now() - start);
    std::filesystem::remove(plain);
  }

  // The timed rounds, on the index read back: what a server searches.
  const QueryTimes timed = RunQueries(*engine, queries, find_queries, rounds);
  const std::uint64_t searched_anon = MemoryFromStatus("RssAnon:");
  const bool reload_matches = timed.hit_counts == in_memory.hit_counts;
  if (keep) WriteQueries(directory + "/queries.tsv", queries);

  const std::uint64_t postings = engine->Postings();
  // Forgetting pages spread over the index, one at a time.
  std::vector<double> forget_ms;
  for (std::size_t k = 0; k < 100; ++k) {
    const auto page = (k * 7919 * (pages / 100 + 1)) % pages;
    start = Clock::now();
    if (!engine->Forget(page)) break;
    forget_ms.push_back(Seconds(Clock::now() - start) * 1e3);
  }

  std::ostringstream out;
  out << "{\"engine\":" << Json(engine_name) << ",\"pages\":" << pages
      << ",\"index_seconds\":" << Seconds(index_time)
      << ",\"pages_per_second\":" << pages / std::max(Seconds(index_time), 1e-9)
      << ",\"disk_bytes\":" << disk_bytes << ",\"image_bytes\":" << image_bytes
      << ",\"save_seconds\":" << files_save_seconds + image_save_seconds
      << ",\"files_save_seconds\":" << files_save_seconds
      << ",\"image_save_seconds\":" << image_save_seconds
      << ",\"load_seconds\":" << load_seconds
      << ",\"files_load_seconds\":" << files_load_seconds
      << ",\"loaded_image\":" << (engine->LoadedImage() ? "true" : "false")
      << ",\"reload_matches\":" << (reload_matches ? "true" : "false")
      << ",\"index_rss_bytes\":" << (indexed_rss - std::min(indexed_rss, baseline_rss))
      << ",\"peak_rss_bytes\":" << MemoryFromStatus("VmHWM:")
      << ",\"baseline_rss_bytes\":" << baseline_rss
      << ",\"baseline_rss_anon_bytes\":" << baseline_anon
      << ",\"loaded_rss_anon_bytes\":" << (loaded_anon - std::min(loaded_anon, baseline_anon))
      << ",\"searched_rss_anon_bytes\":"
      << (searched_anon - std::min(searched_anon, baseline_anon))
      << ",\"postings\":" << postings
      << ",\"plain_write_seconds\":" << plain_write_seconds
      << ",\"plain_read_seconds\":" << plain_read_seconds
      << ",\"forget_p50_ms\":" << Percentile(forget_ms, 0.5)
      << ",\"forget_p99_ms\":" << Percentile(forget_ms, 0.99)
      << ",\"queries\":" << QueriesJson(timed)
      << ",\"memory_queries\":" << QueriesJson(in_memory) << "}";
  std::cout << out.str() << std::endl;
  if (!keep) std::filesystem::remove_all(directory);
  return 0;
}
