// What the change journal costs and what a checkpoint costs, on synthetic
// pages: filing a page with and without journaling it, replaying the
// journal at start-up, and saving and loading the index files it stands
// in for. The numbers behind the checkpoint thresholds (docs/reliability.md).
//
//   build/linux/bin/qoinfo-journal-bench [PAGES] [FOLDER]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "agent/add_data.h"
#include "bench/synthetic_text.h"
#include "index/change_journal.h"
#include "index/index_files.h"
#include "platform/wide_string.h"

namespace {

using namespace qoinfo;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t pages =
      argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 20000;
  const std::filesystem::path folder =
      argc > 2
          ? argv[2]
          : std::filesystem::temp_directory_path() / "qoinfo-journal-bench";
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  const std::u16string dir = folder.u16string();

  std::vector<PageChange> changes(pages);
  const platform::UniqueBstr url(platform::AllocBstr(u"http://example.com/"));
  for (std::size_t p = 0; p < pages; ++p) {
    const platform::UniqueBstr text(
        platform::AllocBstr(bench::SyntheticText(300, p)));
    PreparePage(
        {static_cast<std::int64_t>(p), url.get(), text.get(), nullptr, nullptr},
        &changes[p]);
  }

  CIDContainer records;
  CWordToIdsContainer words;
  auto start = Clock::now();
  for (const PageChange& change : changes)
    ApplyPageChange(change, records, words);
  const double apply = Seconds(start);

  const std::u16string journal_path = IndexFilePath(dir, IndexFile::kJournal);
  ChangeJournal journal;
  if (FAILED(journal.Open(journal_path, 0))) return 1;
  start = Clock::now();
  for (const PageChange& change : changes) journal.Append(change);
  const double append = Seconds(start);
  journal.Close();
  const double journal_mb = static_cast<double>(std::filesystem::file_size(
                                folder / "index.journal")) /
                            1e6;

  CIDContainer replayed_records;
  CWordToIdsContainer replayed_words;
  start = Clock::now();
  ReplayJournal(journal_path, [&](const PageChange& change) {
    ApplyPageChange(change, replayed_records, replayed_words);
  });
  const double replay = Seconds(start);

  start = Clock::now();
  SaveIndexFiles(dir, records, words);
  const double save = Seconds(start);
  const double files_mb =
      static_cast<double>(std::filesystem::file_size(folder / "1.hcpa") +
                          std::filesystem::file_size(folder / "2.hcpb")) /
      1e6;
  CIDContainer loaded_records;
  CWordToIdsContainer loaded_words;
  start = Clock::now();
  LoadIndexFiles(dir, loaded_records, loaded_words);
  const double load = Seconds(start);

  std::printf("pages                 %zu (300 words each)\n", pages);
  std::printf("file a page           %.1f us\n", apply / pages * 1e6);
  std::printf("journal a page        %.1f us (%.0f bytes)\n",
              append / pages * 1e6, journal_mb * 1e6 / pages);
  std::printf(
      "replay                %.1f MB/s, %.0f pages/s (%.2f s for %.1f MB)\n",
      journal_mb / replay, pages / replay, replay, journal_mb);
  std::printf("save index files      %.2f s for %.1f MB (%.1f MB/s)\n", save,
              files_mb, files_mb / save);
  std::printf("load index files      %.2f s (%.1f MB/s)\n", load,
              files_mb / load);
  std::filesystem::remove_all(folder);
  return 0;
}
