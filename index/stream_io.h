// Sequential, buffered reading and writing of the index stream layouts over
// an IStream: little-endian fixed-width integers and counted strings (a
// 32-bit byte length L = 2 * units + 2, the UTF-16 units, a 0x0000
// terminator; L = 0 is an absent string). Neither side holds the whole
// stream in memory.
//
// The writer remembers the first failed write. The reader checks every
// length and count against the bytes the stream still holds, never
// allocates from an unchecked length, and records the first problem it
// meets with its byte offset. One object per pass; not thread-safe.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/storage.h"

namespace qoinfo {

// Returned by a load that met malformed data.
inline constexpr HRESULT kIndexStreamDamaged =
    static_cast<HRESULT>(0x80070570u);  // ERROR_FILE_CORRUPT

// The first problem found in a stream: where and what.
struct StreamProblem {
  bool found = false;
  std::uint64_t offset = 0;
  std::string what;
};

// The little-endian integers at `p`.
inline std::uint32_t DecodeFixed32(const unsigned char* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 |
         std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
}
inline std::uint64_t DecodeFixed64(const unsigned char* p) {
  return std::uint64_t{DecodeFixed32(p)} | std::uint64_t{DecodeFixed32(p + 4)} << 32;
}

// Appends the little-endian encodings to `out`.
void PutFixed32(std::string* out, std::uint32_t value);
void PutFixed64(std::string* out, std::uint64_t value);
void PutCountedString(std::string* out, std::u16string_view text);

class StreamWriter {
 public:
  explicit StreamWriter(IStream* stream);
  StreamWriter(const StreamWriter&) = delete;
  StreamWriter& operator=(const StreamWriter&) = delete;

  void PutFixed32(std::uint32_t value);
  void PutFixed64(std::int64_t value);
  void PutCountedString(std::u16string_view text);

  // Writes what is buffered; S_OK only when every byte reached the stream.
  HRESULT Finish();

 private:
  void FlushIfFull();
  void Flush();

  IStream* stream_;
  std::string buffer_;
  HRESULT status_ = S_OK;
};

class StreamReader {
 public:
  explicit StreamReader(IStream* stream);
  StreamReader(const StreamReader&) = delete;
  StreamReader& operator=(const StreamReader&) = delete;

  // Each read either consumes a whole element or records a problem at the
  // element's offset and returns false (as does every read after a failure).
  bool ReadFixed32(std::uint32_t* value, const char* what);
  bool ReadFixed64(std::int64_t* value, const char* what);
  // The string up to its first NUL unit; an absent string reads as "".
  bool ReadCountedString(std::u16string* text, const char* what);
  // Whole elements of `size` bytes in place, at least one and at most
  // `most`, as many as are at hand: valid until the next read. Empty, with
  // nothing consumed or recorded, when not one whole element is left.
  std::string_view TakeElements(std::size_t size, std::uint64_t most);

  // Bytes consumed so far, and bytes the stream still holds.
  std::uint64_t offset() const { return offset_; }
  std::uint64_t remaining() const { return size_ - offset_; }

  bool failed() const { return failed_; }
  // Records a problem at `offset` (only the first is kept). `stop` also
  // ends the reading.
  void Report(std::uint64_t offset, std::string what, bool stop);
  const StreamProblem& problem() const { return problem_; }

 private:
  bool ReadBytes(void* out, std::size_t count);
  bool Refill();

  IStream* stream_;
  std::uint64_t size_ = UINT64_MAX;
  std::uint64_t offset_ = 0;
  std::string buffer_;
  std::size_t buffer_pos_ = 0;
  std::string string_bytes_;  // ReadCountedString's raw bytes
  bool end_of_stream_ = false;
  bool failed_ = false;
  StreamProblem problem_;
};

}  // namespace qoinfo
