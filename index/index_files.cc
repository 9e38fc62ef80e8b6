#include "index/index_files.h"

#include <memory>
#include <string_view>

#include "platform/com_ptr.h"
#include "platform/file_system.h"
#include "platform/hresult_error.h"
#include "platform/mapped_file.h"
#include "platform/plain_file.h"
#include "platform/storage.h"
#include "platform/whole_file.h"
#include "platform/wide_string.h"

namespace qoinfo {
namespace {

constexpr DWORD kCreateMode = STGM_CREATE | STGM_SHARE_EXCLUSIVE | STGM_WRITE;
constexpr DWORD kOpenMode = STGM_READ | STGM_SHARE_EXCLUSIVE;
const OLECHAR kStreamName[] = {'i', 'd', 's', 0};

bool IsMissingFileError(HRESULT hr) {
  constexpr HRESULT kFileNotFound = static_cast<HRESULT>(0x80070002u);
  constexpr HRESULT kPathNotFound = static_cast<HRESULT>(0x80070003u);
  return hr == STG_E_FILENOTFOUND || hr == STG_E_PATHNOTFOUND ||
         hr == kFileNotFound || hr == kPathNotFound;
}

constexpr char16_t kSavingSuffix[] = u".saving";

std::uint64_t EntriesOf(const CIDContainer& c) { return c.RecordCount(); }
std::uint64_t EntriesOf(const CWordToIdsContainer& c) { return c.WordCount(); }

// Opens `path`'s stream "ids" and reads it into a newly emptied
// `container`. Fills `status`; false when the file could not be read at all.
template <typename Container>
bool ReadOne(const std::u16string& path, Container& container,
             IndexFileLoad& status) {
  status = IndexFileLoad();
  // Devices, FIFOs and folders are refused before any byte is read.
  if (platform::CheckRegularFile(path) == platform::kNotARegularFile) {
    status.hr = platform::kNotARegularFile;
    status.damaged = true;
    status.problem = {true, 0, "not a regular file"};
    return false;
  }
  platform::ComPtr<IStorage> storage;
  const platform::OleString name = platform::ToOleString(path);
  status.hr =
      StgOpenStorageEx(name.c_str(), kOpenMode, STGFMT_STORAGE, 0, nullptr,
                       nullptr, IID_IStorage, storage.out_void());
  if (FAILED(status.hr)) {
    const bool exists = platform::FileExists(path);
    status.missing = IsMissingFileError(status.hr) && !exists;
    if (!status.missing && exists) {
      status.damaged = true;
      status.problem = {true, 0, "not a compound file"};
    }
    return false;
  }
  platform::ComPtr<IStream> stream;
  status.hr =
      storage->OpenStream(kStreamName, nullptr, kOpenMode, 0, stream.out());
  if (FAILED(status.hr)) {
    status.damaged = true;
    status.problem = {true, 0, "no stream \"ids\""};
    return false;
  }
  container = Container();
  status.damaged =
      FAILED(container.Serialize(stream.get(), true, &status.problem));
  status.hr = S_OK;
  status.entries = EntriesOf(container);
  return true;
}

// ReadOne, and a copy of the file aside when it is damaged. A data file is
// never read through a link (nor then saved over it), and is made private.
template <typename Container>
bool LoadOne(const std::u16string& path, Container& container,
             IndexFileLoad& status) {
  if (platform::PrepareDataFile(path, false) == platform::kSymbolicLink) {
    status = IndexFileLoad();
    status.hr = platform::kSymbolicLink;
    status.damaged = true;
    status.problem = {true, 0, "a symbolic link, not a regular file"};
    return false;
  }
  bool read = ReadOne(path, container, status);
  if (status.damaged && status.hr != platform::kNotARegularFile) {
    status.damaged_copy = CopyDamagedFileAside(path);
  }
  // Damage before the first entry leaves nothing to recover: the file
  // counts as unreadable.
  if (read && status.damaged && status.entries == 0) read = false;
  return read;
}

// Writes `container` as a complete compound file at `path`, flushed to disk.
template <typename Container>
HRESULT WriteOne(const std::u16string& path, const Container& container) {
  platform::RemoveFileIfPresent(path);
  IStorage* storage = nullptr;
  const platform::OleString name = platform::ToOleString(path);
  HRESULT hr = StgCreateStorageEx(name.c_str(), kCreateMode, STGFMT_STORAGE, 0,
                                  nullptr, nullptr, IID_IStorage,
                                  reinterpret_cast<void**>(&storage));
  if (FAILED(hr)) return hr;
  IStream* stream = nullptr;
  hr = storage->CreateStream(kStreamName, kCreateMode, 0, 0, &stream);
  if (SUCCEEDED(hr)) {
    hr = const_cast<Container&>(container).Serialize(stream, false);
    stream->Release();
  }
  if (SUCCEEDED(hr)) hr = storage->Commit(STGC_DEFAULT);
  storage->Release();
  if (SUCCEEDED(hr)) hr = platform::FlushFileToDisk(path);
  if (FAILED(hr)) platform::RemoveMappedFile(path);
  return hr;
}

}  // namespace

std::u16string IndexFilePath(const std::u16string& data_directory,
                             IndexFile file) {
  const char16_t* name = u"1.hcpa";
  switch (file) {
    case IndexFile::kRecords:
      break;
    case IndexFile::kWords:
      name = u"2.hcpb";
      break;
    case IndexFile::kJournal:
      name = u"index.journal";
      break;
    case IndexFile::kCommitMarker:
      name = u"index.commit";
      break;
    case IndexFile::kLock:
      name = u"agent.lock";
      break;
    case IndexFile::kImage:
      name = u"index.image";
      break;
  }
  return data_directory + platform::kPathSeparator + name;
}

std::u16string CopyDamagedFileAside(const std::u16string& path) {
  const std::u16string base =
      path + u".damaged-" + platform::UtcTimestampForFileName();
  std::u16string target = base;
  for (int attempt = 2; platform::FileExists(target) && attempt < 1000;
       ++attempt) {
    const std::string n = std::to_string(attempt);
    target = base + u"-" + std::u16string(n.begin(), n.end());
  }
  if (SUCCEEDED(platform::CopyFileExclusive(path, target))) return target;
  return std::u16string();
}

HRESULT RecoverInterruptedSave(const std::u16string& data_directory,
                               SaveRecovery* what) {
  *what = SaveRecovery::kNone;
  const std::u16string marker =
      IndexFilePath(data_directory, IndexFile::kCommitMarker);
  const bool committed = platform::FileExists(marker);
  for (const IndexFile file : {IndexFile::kRecords, IndexFile::kWords}) {
    const std::u16string path = IndexFilePath(data_directory, file);
    const std::u16string temp = path + kSavingSuffix;
    if (!platform::FileExists(temp)) continue;
    if (committed) {
      const HRESULT hr = platform::ReplaceFileAtomically(temp, path);
      if (FAILED(hr)) return hr;
      *what = SaveRecovery::kCompleted;
    } else {
      platform::RemoveFileIfPresent(temp);
      *what = SaveRecovery::kTemporariesRemoved;
    }
  }
  if (!committed) return S_OK;
  *what = SaveRecovery::kCompleted;
  // The journal's changes are in the files the save committed.
  HRESULT hr = platform::RemoveFileDurably(
      IndexFilePath(data_directory, IndexFile::kJournal));
  if (SUCCEEDED(hr)) hr = platform::RemoveFileDurably(marker);
  return hr;
}
bool ReadIndexFile(const std::u16string& path, CIDContainer& records,
                   IndexFileLoad& status) {
  return ReadOne(path, records, status);
}

bool ReadIndexFile(const std::u16string& path, CWordToIdsContainer& words,
                   IndexFileLoad& status) {
  return ReadOne(path, words, status);
}

IndexLoadResult LoadIndexFiles(const std::u16string& data_directory,
                               CIDContainer& records,
                               CWordToIdsContainer& words) {
  IndexLoadResult result;
  const std::u16string records_path =
      IndexFilePath(data_directory, IndexFile::kRecords);
  const std::u16string words_path =
      IndexFilePath(data_directory, IndexFile::kWords);
  if (!LoadOne(records_path, records, result.records)) {
    // The word index is left alone, but what it holds is worth knowing.
    CWordToIdsContainer scratch;
    LoadOne(words_path, scratch, result.words);
    return result;
  }
  if (!LoadOne(words_path, words, result.words)) return result;
  result.hr = S_OK;
  return result;
}

HRESULT SaveIndexFiles(const std::u16string& data_directory,
                       const CIDContainer& records,
                       const CWordToIdsContainer& words,
                       const SaveInterruption& interrupt,
                       const std::function<HRESULT()>& committed) {
  const std::u16string records_path =
      IndexFilePath(data_directory, IndexFile::kRecords);
  const std::u16string words_path =
      IndexFilePath(data_directory, IndexFile::kWords);
  const std::u16string marker =
      IndexFilePath(data_directory, IndexFile::kCommitMarker);
  const std::u16string records_temp = records_path + kSavingSuffix;
  const std::u16string words_temp = words_path + kSavingSuffix;
  auto stop_at = [&](SaveStage stage) { return interrupt && interrupt(stage); };

  HRESULT hr = WriteOne(records_temp, records);
  if (SUCCEEDED(hr)) hr = WriteOne(words_temp, words);
  if (SUCCEEDED(hr) && stop_at(SaveStage::kCommit)) return E_ABORT;
  // The marker is made durable under its name in one step, after both new
  // files are complete on the disk.
  if (SUCCEEDED(hr)) {
    hr = platform::WriteWholeFileDurably(marker, marker + kSavingSuffix,
                                         "1.hcpa 2.hcpb\n");
  }
  if (FAILED(hr)) {
    platform::RemoveFileIfPresent(records_temp);
    platform::RemoveFileIfPresent(words_temp);
    return hr;
  }
  // Committed: from here on a failure leaves the marker, and the next
  // start-up completes the save.
  if (stop_at(SaveStage::kReplaceRecords)) return E_ABORT;
  hr = platform::ReplaceFileAtomically(records_temp, records_path);
  if (FAILED(hr)) return hr;
  if (stop_at(SaveStage::kReplaceWords)) return E_ABORT;
  hr = platform::ReplaceFileAtomically(words_temp, words_path);
  if (FAILED(hr)) return hr;
  if (stop_at(SaveStage::kFinish)) return E_ABORT;
  if (committed) hr = committed();
  if (FAILED(hr)) return hr;
  return platform::RemoveFileDurably(marker);
}

namespace {

// What SaveIndexImage gives for an index whose postings name pages above the
// last identifier issued: ERROR_INVALID_DATA.
constexpr HRESULT kPostingsAboveLastId = static_cast<HRESULT>(0x8007000Du);

// The identities of the pair of index files in `data_directory`.
HRESULT IdentifyPair(const std::u16string& data_directory,
                     platform::FileIdentity* records_file,
                     platform::FileIdentity* words_file) {
  const HRESULT hr = platform::IdentifyFile(
      IndexFilePath(data_directory, IndexFile::kRecords), records_file);
  if (FAILED(hr)) return hr;
  return platform::IdentifyFile(IndexFilePath(data_directory, IndexFile::kWords),
                                words_file);
}

}  // namespace

std::shared_ptr<const IndexImage> OpenIndexImage(
    const std::u16string& data_directory, ImageProblem* problem) {
  ImageProblem ignored = ImageProblem::kNone;
  if (problem == nullptr) problem = &ignored;
  const std::u16string path = IndexFilePath(data_directory, IndexFile::kImage);
  platform::FileIdentity records_file;
  platform::FileIdentity words_file;
  if (FAILED(IdentifyPair(data_directory, &records_file, &words_file))) {
    // No pair: whatever image is there was made of other files.
    *problem = platform::FileExists(path) ? ImageProblem::kOtherPair
                                          : ImageProblem::kMissing;
    return nullptr;
  }
  return IndexImage::Open(path, records_file, words_file, problem);
}

HRESULT SaveIndexImage(const std::u16string& data_directory,
                       const CIDContainer& records,
                       const CWordToIdsContainer& words) {
  const std::u16string path = IndexFilePath(data_directory, IndexFile::kImage);
  platform::FileIdentity records_file;
  platform::FileIdentity words_file;
  HRESULT hr = IdentifyPair(data_directory, &records_file, &words_file);
  if (SUCCEEDED(hr)) {
    try {
      IndexImageWriter writer(path);
      records.ForEachRecord([&](std::int64_t id, const RecordView& record) {
        writer.AddRecord(id, record);
      });
      // Every posting of an image is a page up to the last identifier, so
      // that a page filed since (above it) never needs the image read. Only
      // damaged files break that; their index is then kept without an image.
      bool above_last = false;
      words.ForEachWord(
          [&](std::u16string_view word, const PostingsView& postings) {
            above_last = above_last || postings.last_id() > records.lastId();
            writer.AddWord(word, postings);
          });
      hr = above_last ? kPostingsAboveLastId
                      : writer.Finish(records.lastId(), records_file, words_file);
    } catch (...) {
      hr = platform::HResultFromCurrentException();
    }
  }
  // An image of older files could still hold pages forgotten since.
  if (FAILED(hr)) platform::RemoveFileIfPresent(path);
  return hr;
}

}  // namespace qoinfo
