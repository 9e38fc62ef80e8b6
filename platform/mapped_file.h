// A file mapped read-only into memory, for the index image that searches
// read in place, and the identity of a file on disk (what tells a rewritten
// file from the one an image was made of). Paths are UTF-16.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/com_base.h"

namespace platform {

// What identifies one version of a file: its size, its last modification
// (nanoseconds since the epoch where the system keeps them, 100 ns units on
// Windows) and its file number (inode, or the volume's file index). A file
// written again and renamed into place differs in at least one of them.
struct FileIdentity {
  std::uint64_t size = 0;
  std::int64_t modified = 0;
  std::uint64_t file_id = 0;
  bool operator==(const FileIdentity&) const = default;
};

// The identity of the file at `path`: S_OK, or the failure (a missing file
// gives HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)).
HRESULT IdentifyFile(const std::u16string& path, FileIdentity* identity);

// The whole of one file, mapped read-only and shared with the page cache:
// its pages count as the file's, not as the process's own memory. The
// mapping stays valid while the object lives, also when the file is
// replaced or removed meanwhile.
class MappedFile {
 public:
  // Maps the file at `path`. S_OK; E_OUTOFMEMORY when the address space has
  // no room for it (a 32-bit process and a large file); the failure
  // otherwise. A symbolic link is refused (platform::kSymbolicLink), as for
  // every data file. An empty file maps to no bytes.
  static HRESULT Open(const std::u16string& path,
                      std::unique_ptr<MappedFile>* mapped);
  ~MappedFile();
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  const std::uint8_t* data() const { return m_data; }
  std::size_t size() const { return m_size; }
  // The identity of the file that was mapped, taken from the open handle.
  const FileIdentity& identity() const { return m_identity; }

 private:
  MappedFile() = default;
  const std::uint8_t* m_data = nullptr;
  std::size_t m_size = 0;
  FileIdentity m_identity;
  // The mapping object, where the system has one (Windows).
  [[maybe_unused]] void* m_handle = nullptr;
};

// Puts `from` in place of `to` as ReplaceFileAtomically does, also when
// `to` is mapped (by this process or another). Windows refuses to replace
// or remove a mapped file but lets it be renamed: it goes to "<to>.old"
// first, and is removed as soon as it is no longer mapped, at the latest by
// the next call (for a moment there is then no file at `to`).
HRESULT ReplaceMappedFile(const std::u16string& from, const std::u16string& to);
// Removes the file at `path` when it exists, also when it is mapped: on
// Windows it is renamed to "<path>.old" first, which goes as soon as it is
// no longer mapped (at the latest by the next call of either function).
void RemoveMappedFile(const std::u16string& path);

// Gives memory that was freed back to the system, where the allocator keeps
// it otherwise (after the in-memory index moved into a mapped image).
void ReleaseFreedMemory();

}  // namespace platform
