#include "host/atomic_file.h"

#include <memory>

#include "platform/data_directory.h"
#include "platform/file_system.h"
#include "platform/plain_file.h"
#include "platform/whole_file.h"

namespace qoinfo {

HRESULT WriteFileAtomically(const std::u16string& path, std::string_view bytes) {
  const std::size_t last = path.rfind(platform::kPathSeparator);
  if (last != std::u16string::npos && last > 0) {
    const HRESULT hr = platform::CreateDirectoryTree(path.substr(0, last));
    if (FAILED(hr)) return hr;
  }
  return platform::WriteWholeFileDurably(path, path + u".new", bytes);
}

HRESULT ReadWholeFile(const std::u16string& path, std::string* bytes) {
  bytes->clear();
  std::unique_ptr<platform::FileReader> file;
  HRESULT hr = platform::FileReader::Open(
      path, &file, platform::FileReader::Source::kNamedFile);
  if (FAILED(hr)) return hr;
  return file->Read(static_cast<std::size_t>(file->Size()), bytes);
}

}  // namespace qoinfo
