// Plain files beside the compound files: an append-only log file and a
// sequential reader. Both open regular files only (a device, a FIFO or a
// folder is refused with kNotARegularFile before anything is read), so that
// no path can make the caller block or read without end.
//
// Data files (everything in the data directory) are private to their owner
// and never opened through a symbolic link: a link planted under a data
// file's name is refused (kSymbolicLink) instead of being followed to a
// file elsewhere that a save would then overwrite. On POSIX a data file is
// created with mode 0600 and opened with O_NOFOLLOW; Windows has no modes
// (the folder's access list, inherited from the user's profile, decides)
// and refuses reparse points.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/com_base.h"

namespace platform {

// HRESULT_FROM_WIN32(ERROR_BAD_FILE_TYPE): the path names something other
// than a regular file.
inline constexpr HRESULT kNotARegularFile = static_cast<HRESULT>(0x800700DEu);

// HRESULT_FROM_WIN32(ERROR_STOPPED_ON_SYMLINK): a data file's name is a
// symbolic link (or another reparse point), which is not followed.
inline constexpr HRESULT kSymbolicLink = static_cast<HRESULT>(0x800702A9u);

// S_OK for an existing regular file (links followed), kNotARegularFile for
// anything else that exists, otherwise the error of looking it up.
HRESULT CheckRegularFile(const std::u16string& path);

// Readies a data file that another layer opens by its name (the compound
// files, SQLite's database): kSymbolicLink for a link, kNotARegularFile for
// anything else but a regular file; an existing file loses any permission
// for others; a missing one is created empty and private when `create`,
// else left missing (S_OK).
HRESULT PrepareDataFile(const std::u16string& path, bool create);

// A file written at its end. Append hands the bytes to the system (they
// survive the end of the process); Sync forces everything appended to the
// disk (it survives a power cut). Append, Truncate and the destructor run on
// the owner's thread; Sync may run on another thread at the same time.
class AppendFile {
 public:
  // Opens the data file `path` for appending, creating it (private) when
  // missing; an existing one loses any permission for others.
  static HRESULT Open(const std::u16string& path,
                      std::unique_ptr<AppendFile>* file);
  virtual ~AppendFile() = default;

  // Writes all of `bytes` at the end, or fails leaving the size as it was
  // (a partial write is cut off again).
  virtual HRESULT Append(std::string_view bytes) = 0;
  virtual HRESULT Sync() = 0;
  // Writes `bytes` over bytes already written, starting at `offset` (a
  // header filled in once what follows it is known); the size stays.
  virtual HRESULT WriteAt(std::uint64_t offset, std::string_view bytes) = 0;
  // Cuts the file to `size` bytes; later appends go after them.
  virtual HRESULT Truncate(std::uint64_t size) = 0;
  virtual std::uint64_t Size() const = 0;
};

// Reads a regular file from its start. One object per pass.
class FileReader {
 public:
  // What may be opened: a data file (never through a link), a file a
  // person names (links followed), or that or a named pipe (text handed
  // over with a shell's process substitution). Devices and folders never.
  enum class Source { kDataFile, kNamedFile, kNamedFileOrPipe };
  static HRESULT Open(const std::u16string& path,
                      std::unique_ptr<FileReader>* file, Source source);
  virtual ~FileReader() = default;

  // Appends up to `count` bytes to `out`; fewer only at the end of the file.
  virtual HRESULT Read(std::size_t count, std::string* out) = 0;
  // The file's size when it was opened.
  virtual std::uint64_t Size() const = 0;
};

}  // namespace platform
