// Micro-benchmarks (Google Benchmark) of the steps a page and a query go
// through: word extraction, AddData, Search over indexes of growing size,
// a snippet of a long text, and the stream writer and reader. The corpus comparison with the peers is
// qoinfo-bench; these isolate one step each.
//
//   build/linux/bin/qoinfo-micro-bench [--benchmark_filter=Search]
#include <benchmark/benchmark.h>

#include <string>

#include "agent/add_data.h"
#include "agent/search.h"
#include "agent/snippet.h"
#include "agent/word_extraction.h"
#include "bench/synthetic_text.h"
#include "platform/wide_string.h"
#include "tests/support/memory_stream.h"

namespace {

using namespace qoinfo;

std::u16string Text(std::size_t words, std::uint64_t seed) {
  return bench::SyntheticText(words, seed);
}

struct Index {
  CIDContainer records;
  CWordToIdsContainer words;
};

Index Build(std::size_t pages) {
  Index index;
  const platform::UniqueBstr url(platform::AllocBstr(u"http://example.com/"));
  for (std::size_t p = 0; p < pages; ++p) {
    const platform::UniqueBstr text(platform::AllocBstr(Text(300, p)));
    AddData({static_cast<std::int64_t>(p), url.get(), text.get(), nullptr, nullptr},
            index.records, index.words);
  }
  return index;
}

void BM_ExtractWords(benchmark::State& state) {
  const platform::UniqueBstr text(
      platform::AllocBstr(Text(static_cast<std::size_t>(state.range(0)), 1)));
  for (auto _ : state) benchmark::DoNotOptimize(ExtractWords(text.get()));
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ExtractWords)->Arg(10)->Arg(500)->Arg(10000);

// A snippet of a text of about 1 MB (150,000 words) for a query of three
// words, one of them a prefix.
void BM_MakeSnippetOfOneMegabyte(benchmark::State& state) {
  const std::u16string text = Text(150000, 3);
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        MakeSnippet(text, u"wabc wbaa wc", FindOptions{true}));
  }
  state.SetBytesProcessed(state.iterations() *
                          static_cast<std::int64_t>(text.size() * 2));
}
BENCHMARK(BM_MakeSnippetOfOneMegabyte);

void BM_AddData(benchmark::State& state) {
  Index index;
  const platform::UniqueBstr url(platform::AllocBstr(u"http://example.com/"));
  std::int64_t time = 0;
  const platform::UniqueBstr text(platform::AllocBstr(Text(500, 3)));
  for (auto _ : state) {
    AddData({++time, url.get(), text.get(), nullptr, nullptr}, index.records,
            index.words);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_AddData);

// One rare-word search (one hit, the best 20 taken) over N pages: its cost
// must not grow with N.
void BM_SearchRareWord(benchmark::State& state) {
  Index index = Build(static_cast<std::size_t>(state.range(0)));
  const platform::UniqueBstr url(platform::AllocBstr(u"http://rare/"));
  const platform::UniqueBstr rare_text(platform::AllocBstr(u"zzrareword"));
  AddData({-1, url.get(), rare_text.get(), nullptr, nullptr}, index.records, index.words);
  const platform::UniqueBstr query(platform::AllocBstr(u"zzrareword"));
  for (auto _ : state) {
    ISearchDataEnumerator* hits = nullptr;
    Search(query.get(), &hits, index.records, index.words);
    _URL_DATE_IA_S hit;
    while (hits->Next(&hit) == S_OK) {
      SysFreeString(hit.Url);
      SysFreeString(hit.Path);
      SysFreeString(hit.Title);
    }
    hits->Release();
  }
}
BENCHMARK(BM_SearchRareWord)->Arg(1000)->Arg(10000)->Arg(50000);

// The first page (best 20) of a word that every one of N pages holds, with
// counts of 1 to 7: the cost of scoring every hit and ranking only the best.
void BM_SearchCommonWordFirstPage(benchmark::State& state) {
  Index index;
  const platform::UniqueBstr url(platform::AllocBstr(u"http://example.com/"));
  for (std::int64_t p = 0; p < state.range(0); ++p) {
    std::u16string text;
    for (std::int64_t i = 0; i <= p % 7; ++i) text += u"zzcommon ";
    const platform::UniqueBstr bstr(platform::AllocBstr(text));
    AddData({p, url.get(), bstr.get(), nullptr, nullptr}, index.records,
            index.words);
  }
  const platform::UniqueBstr query(platform::AllocBstr(u"zzcommon"));
  for (auto _ : state) {
    ISearchDataEnumerator* hits = nullptr;
    Search(query.get(), &hits, index.records, index.words);
    _URL_DATE_IA_S hit;
    for (int taken = 0; taken < 20 && hits->Next(&hit) == S_OK; ++taken) {
      SysFreeString(hit.Url);
      SysFreeString(hit.Path);
      SysFreeString(hit.Title);
    }
    hits->Release();
  }
}
BENCHMARK(BM_SearchCommonWordFirstPage)->Arg(10000)->Arg(100000)->Arg(1000000);

void BM_WriteAndReadWordStream(benchmark::State& state) {
  Index index = Build(2000);
  std::size_t bytes = 0;
  for (auto _ : state) {
    testing::MemoryStream stream;
    index.words.Serialize(&stream, false);
    testing::MemoryStream in(stream.bytes());
    CWordToIdsContainer read;
    read.Serialize(&in, true);
    bytes = stream.bytes().size();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(bytes));
}
BENCHMARK(BM_WriteAndReadWordStream);

}  // namespace

BENCHMARK_MAIN();
