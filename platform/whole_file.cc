#include "platform/whole_file.h"

#include <memory>

#include "platform/file_system.h"
#include "platform/plain_file.h"

namespace platform {

HRESULT WriteWholeFileDurably(const std::u16string& path,
                              const std::u16string& temporary,
                              std::string_view bytes) {
  RemoveFileIfPresent(temporary);
  std::unique_ptr<AppendFile> file;
  HRESULT hr = AppendFile::Open(temporary, &file);
  if (SUCCEEDED(hr)) hr = file->Append(bytes);
  if (SUCCEEDED(hr)) hr = file->Sync();
  file.reset();
  if (SUCCEEDED(hr)) hr = ReplaceFileAtomically(temporary, path);
  if (FAILED(hr)) RemoveFileIfPresent(temporary);
  return hr;
}

}  // namespace platform
