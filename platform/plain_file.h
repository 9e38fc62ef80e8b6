// Plain files beside the compound files: an append-only log file and a
// sequential reader. Both open regular files only (a device, a FIFO or a
// folder is refused with kNotARegularFile before anything is read), so that
// no path can make the caller block or read without end.
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

// S_OK for an existing regular file (links followed), kNotARegularFile for
// anything else that exists, otherwise the error of looking it up.
HRESULT CheckRegularFile(const std::u16string& path);

// A file written only at its end. Append hands the bytes to the system (they
// survive the end of the process); Sync forces everything appended to the
// disk (it survives a power cut). Append, Truncate and the destructor run on
// the owner's thread; Sync may run on another thread at the same time.
class AppendFile {
 public:
  // Opens `path` for appending, creating it when missing.
  static HRESULT Open(const std::u16string& path,
                      std::unique_ptr<AppendFile>* file);
  virtual ~AppendFile() = default;

  // Writes all of `bytes` at the end, or fails leaving the size as it was
  // (a partial write is cut off again).
  virtual HRESULT Append(std::string_view bytes) = 0;
  virtual HRESULT Sync() = 0;
  // Cuts the file to `size` bytes; later appends go after them.
  virtual HRESULT Truncate(std::uint64_t size) = 0;
  virtual std::uint64_t Size() const = 0;
};

// Reads a regular file from its start. One object per pass.
class FileReader {
 public:
  // `allow_pipe`: a named pipe is read too (text a person hands over with
  // a shell's process substitution); devices and folders never are.
  static HRESULT Open(const std::u16string& path,
                      std::unique_ptr<FileReader>* file,
                      bool allow_pipe = false);
  virtual ~FileReader() = default;

  // Appends up to `count` bytes to `out`; fewer only at the end of the file.
  virtual HRESULT Read(std::size_t count, std::string* out) = 0;
  // The file's size when it was opened.
  virtual std::uint64_t Size() const = 0;
};

}  // namespace platform
