#include "index/index_files.h"

#include "platform/com_ptr.h"
#include "platform/file_system.h"
#include "platform/storage.h"
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

// Copies a damaged file aside under a name that does not exist yet.
std::u16string CopyAside(const std::u16string& path) {
  const std::u16string base =
      path + u".damaged-" + platform::UtcTimestampForFileName();
  std::u16string target = base;
  for (int attempt = 2; platform::FileExists(target) && attempt < 1000; ++attempt) {
    const std::string n = std::to_string(attempt);
    target = base + u"-" + std::u16string(n.begin(), n.end());
  }
  if (SUCCEEDED(platform::CopyFileExclusive(path, target))) return target;
  return std::u16string();
}

// Opens `path`'s stream "ids" and reads it into a newly emptied
// `container`. Fills `status`; false when the file could not be read at all.
template <typename Container>
bool ReadOne(const std::u16string& path, Container& container,
             IndexFileLoad& status) {
  status = IndexFileLoad();
  platform::ComPtr<IStorage> storage;
  const platform::OleString name = platform::ToOleString(path);
  status.hr = StgOpenStorageEx(name.c_str(), kOpenMode, STGFMT_STORAGE, 0,
                               nullptr, nullptr, IID_IStorage,
                               storage.out_void());
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
  status.hr = storage->OpenStream(kStreamName, nullptr, kOpenMode, 0, stream.out());
  if (FAILED(status.hr)) {
    status.damaged = true;
    status.problem = {true, 0, "no stream \"ids\""};
    return false;
  }
  container = Container();
  status.damaged =
      FAILED(container.Serialize(stream.get(), true, &status.problem));
  status.hr = S_OK;
  return true;
}

// ReadOne, and a copy of the file aside when it is damaged.
template <typename Container>
bool LoadOne(const std::u16string& path, Container& container,
             IndexFileLoad& status) {
  const bool read = ReadOne(path, container, status);
  if (status.damaged) status.damaged_copy = CopyAside(path);
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
  if (FAILED(hr)) platform::RemoveFileIfPresent(path);
  return hr;
}

}  // namespace

std::u16string IndexFilePath(const std::u16string& data_directory,
                             IndexFile file) {
  return data_directory + platform::kPathSeparator +
         (file == IndexFile::kRecords ? u"1.hcpa" : u"2.hcpb");
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
    // The word index is not read, but whether it exists is worth knowing.
    result.words.missing = !platform::FileExists(words_path);
    return result;
  }
  if (!LoadOne(words_path, words, result.words)) return result;
  result.hr = S_OK;
  return result;
}

HRESULT SaveIndexFiles(const std::u16string& data_directory,
                       const CIDContainer& records,
                       const CWordToIdsContainer& words,
                       const SaveInterruption& interrupt) {
  const std::u16string records_path =
      IndexFilePath(data_directory, IndexFile::kRecords);
  const std::u16string words_path =
      IndexFilePath(data_directory, IndexFile::kWords);
  const std::u16string records_temp = records_path + u".saving";
  const std::u16string words_temp = words_path + u".saving";

  HRESULT hr = WriteOne(records_temp, records);
  if (SUCCEEDED(hr)) hr = WriteOne(words_temp, words);
  if (FAILED(hr)) {
    platform::RemoveFileIfPresent(records_temp);
    platform::RemoveFileIfPresent(words_temp);
    return hr;
  }
  if (interrupt && interrupt(SaveStage::kReplaceRecords)) return E_ABORT;
  hr = platform::ReplaceFileAtomically(records_temp, records_path);
  if (FAILED(hr)) {
    platform::RemoveFileIfPresent(records_temp);
    platform::RemoveFileIfPresent(words_temp);
    return hr;
  }
  if (interrupt && interrupt(SaveStage::kReplaceWords)) return E_ABORT;
  hr = platform::ReplaceFileAtomically(words_temp, words_path);
  if (FAILED(hr)) platform::RemoveFileIfPresent(words_temp);
  return hr;
}

}  // namespace qoinfo
