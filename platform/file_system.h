// The few file operations the index files need beyond compound files:
// durable replacement of one file by another, copies, existence checks.
// Paths are UTF-16 (the data directory arrives as a BSTR).
#pragma once

#include <cstdint>
#include <string>

#include "platform/com_base.h"

namespace platform {

// The separator placed between the data directory and an index file name.
extern const char16_t kPathSeparator;

bool FileExists(const std::u16string& path);
// The file's size in bytes; 0 when it does not exist.
std::uint64_t FileSize(const std::u16string& path);

// Forces the file's content to the disk.
HRESULT FlushFileToDisk(const std::u16string& path);

// Replaces `to` by `from` in one step (an observer sees the old file or the
// new one, never a mix) and makes the replacement durable.
HRESULT ReplaceFileAtomically(const std::u16string& from,
                              const std::u16string& to);

// Copies `from` to `to`, which must not exist yet.
HRESULT CopyFileExclusive(const std::u16string& from, const std::u16string& to);

// Removes the file when it exists.
void RemoveFileIfPresent(const std::u16string& path);
// Removes the file when it exists and makes the removal durable. S_OK also
// when there was nothing to remove.
HRESULT RemoveFileDurably(const std::u16string& path);

// The current UTC time as "YYYYMMDDTHHMMSSZ", for file names.
std::u16string UtcTimestampForFileName();

}  // namespace platform
