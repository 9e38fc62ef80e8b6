#include "tools/import/waiting_pages.h"

#include <memory>

#include "platform/file_system.h"
#include "platform/hresult_error.h"
#include "platform/plain_file.h"
#include "platform/utf8.h"
#include "platform/whole_file.h"

namespace qoinfo::tools {
namespace {

constexpr char kHeader[] = "qoinfo history-import-waiting 1\n";

std::u16string FilePath(const std::u16string& data_directory) {
  return data_directory + platform::kPathSeparator + kWaitingPagesFileName;
}

std::string Describe(const std::u16string& path, HRESULT hr) {
  return platform::Utf16ToUtf8(path) + ": " + platform::HResultCodeText(hr);
}

}  // namespace

bool LoadWaitingPages(const std::u16string& data_directory,
                      std::set<ULONG>* indexes, std::string* error) {
  indexes->clear();
  const std::u16string path = FilePath(data_directory);
  if (!platform::FileExists(path)) return true;
  std::unique_ptr<platform::FileReader> reader;
  HRESULT hr = platform::FileReader::Open(path, &reader,
                                          platform::FileReader::Source::kDataFile);
  std::string bytes;
  if (SUCCEEDED(hr)) hr = reader->Read(reader->Size(), &bytes);
  if (FAILED(hr)) {
    *error = Describe(path, hr);
    return false;
  }
  if (bytes.rfind(kHeader, 0) != 0) {
    *error = platform::Utf16ToUtf8(path) + ": not a list of waiting pages";
    return false;
  }
  unsigned long long value = 0;
  bool digits = false;
  for (std::size_t i = sizeof kHeader - 1; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (c >= '0' && c <= '9' && value <= 0xFFFFFFFFull) {
      value = value * 10 + static_cast<unsigned>(c - '0');
      digits = true;
    } else if (c == '\n' && digits && value != 0 && value <= 0xFFFFFFFFull) {
      indexes->insert(static_cast<ULONG>(value));
      value = 0;
      digits = false;
    } else {
      *error = platform::Utf16ToUtf8(path) + ": damaged at byte " +
               std::to_string(i);
      return false;
    }
  }
  return true;
}

bool SaveWaitingPages(const std::u16string& data_directory,
                      const std::set<ULONG>& indexes, std::string* error) {
  const std::u16string path = FilePath(data_directory);
  HRESULT hr = S_OK;
  if (indexes.empty()) {
    hr = platform::RemoveFileDurably(path);
    if (FAILED(hr)) *error = Describe(path, hr);
    return SUCCEEDED(hr);
  }
  std::string bytes = kHeader;
  for (ULONG index : indexes) bytes += std::to_string(index) + '\n';
  hr = platform::WriteWholeFileDurably(path, path + u".new", bytes);
  if (FAILED(hr)) {
    *error = Describe(path, hr);
    return false;
  }
  return true;
}

}  // namespace qoinfo::tools
