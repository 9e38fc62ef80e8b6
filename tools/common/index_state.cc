#include "tools/common/index_state.h"

#include <filesystem>
#include <set>
#include <utility>

#include "platform/file_system.h"
#include "platform/wide_string.h"
#include "tools/common/damaged_copies.h"

namespace qoinfo::tools {

void ReadIndexState(const std::u16string& directory, IndexState* state) {
  const std::u16string records_path =
      IndexFilePath(directory, IndexFile::kRecords);
  const std::u16string words_path = IndexFilePath(directory, IndexFile::kWords);
  const bool records_read =
      ReadIndexFile(records_path, state->records, state->records_load);
  const bool words_read =
      ReadIndexFile(words_path, state->words, state->words_load);
  const bool fresh = state->records_load.missing && state->words_load.missing;
  if ((records_read && words_read) || fresh) {
    state->journal = ReplayJournal(
        IndexFilePath(directory, IndexFile::kJournal),
        [state](const PageChange& change) {
          ApplyPageChange(change, state->records, state->words);
        },
        /*copy_damaged=*/false);
  }
  FindLeftovers(directory, state);
}

void FindLeftovers(const std::u16string& directory, IndexState* state) {
  const std::u16string records_path =
      IndexFilePath(directory, IndexFile::kRecords);
  const std::u16string words_path = IndexFilePath(directory, IndexFile::kWords);
  state->save_interrupted = platform::FileExists(IndexFilePath(
                                directory, IndexFile::kCommitMarker)) ||
                            platform::FileExists(records_path + u".saving") ||
                            platform::FileExists(words_path + u".saving");
  state->damaged_copies = DamagedCopies(std::filesystem::path(directory));
}

HRESULT CompareWithHistory(IBromURLBase* history, const CIDContainer& records,
                           HistoryAgreement* agreement) {
  *agreement = HistoryAgreement();
  std::set<std::pair<std::int64_t, std::u16string>> visits;
  ULONG index = 0;
  for (;;) {
    HRESULT hr = history->NextVisit(index, &index);
    if (FAILED(hr)) return hr;
    if (hr != S_OK) break;
    _URL_DATE_IA_S data{};
    hr = history->GetData(&data, index);
    if (FAILED(hr)) return hr;
    const platform::UniqueBstr url(data.Url), path(data.Path),
        title(data.Title);
    CTimeURLContainer visit(data.Time, platform::FromOleString(url.get()),
                            std::u16string(), std::u16string());
    if (records.FindRecord(visit) < 1) {
      agreement->visits_without_page.push_back(index);
    }
    visits.emplace(visit.m_time, std::move(visit.m_url));
  }
  records.ForEachRecord([&](std::int64_t, const RecordView& record) {
    if (visits.count({record.time, std::u16string(record.url)}) == 0) {
      agreement->pages_without_visit.push_back(CTimeURLContainer(record));
    }
  });
  return S_OK;
}

}  // namespace qoinfo::tools
