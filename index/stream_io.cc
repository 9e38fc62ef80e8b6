#include "index/stream_io.h"

#include <algorithm>
#include <cstring>

namespace qoinfo {
namespace {

constexpr std::size_t kBufferSize = 64 * 1024;

}  // namespace

void PutFixed32(std::string* out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<char>(value >> (8 * i)));
}

void PutFixed64(std::string* out, std::uint64_t value) {
  for (int i = 0; i < 8; ++i) out->push_back(static_cast<char>(value >> (8 * i)));
}

void PutCountedString(std::string* out, std::u16string_view text) {
  // Texts never hold a NUL unit; the writer would cut them there anyway.
  text = text.substr(0, text.find(u'\0'));
  PutFixed32(out, static_cast<std::uint32_t>(2 * text.size() + 2));
  for (const char16_t unit : text) {
    out->push_back(static_cast<char>(unit & 0xFF));
    out->push_back(static_cast<char>(unit >> 8));
  }
  out->append(2, '\0');
}

// ---- StreamWriter ----------------------------------------------------------

StreamWriter::StreamWriter(IStream* stream) : stream_(stream) {
  buffer_.reserve(kBufferSize + 16);
}

void StreamWriter::PutFixed32(std::uint32_t value) {
  qoinfo::PutFixed32(&buffer_, value);
  FlushIfFull();
}

void StreamWriter::PutFixed64(std::int64_t value) {
  qoinfo::PutFixed64(&buffer_, static_cast<std::uint64_t>(value));
  FlushIfFull();
}

void StreamWriter::PutCountedString(std::u16string_view text) {
  qoinfo::PutCountedString(&buffer_, text);
  FlushIfFull();
}

void StreamWriter::FlushIfFull() {
  if (buffer_.size() >= kBufferSize) Flush();
}

void StreamWriter::Flush() {
  std::size_t done = 0;
  while (SUCCEEDED(status_) && done < buffer_.size()) {
    const ULONG chunk = static_cast<ULONG>(
        std::min<std::size_t>(buffer_.size() - done, 1u << 30));
    ULONG written = 0;
    const HRESULT hr = stream_->Write(buffer_.data() + done, chunk, &written);
    if (FAILED(hr)) {
      status_ = hr;
    } else if (written == 0) {
      status_ = STG_E_WRITEFAULT;
    }
    done += written;
  }
  buffer_.clear();
}

HRESULT StreamWriter::Finish() {
  Flush();
  return status_;
}

// ---- StreamReader ----------------------------------------------------------

StreamReader::StreamReader(IStream* stream) : stream_(stream) {
  // The bytes left from the current position, when the stream can tell.
  ULARGE_INTEGER here{}, end{};
  const LARGE_INTEGER zero{};
  if (SUCCEEDED(stream_->Seek(zero, STREAM_SEEK_CUR, &here)) &&
      SUCCEEDED(stream_->Seek(zero, STREAM_SEEK_END, &end))) {
    LARGE_INTEGER back{};
    back.QuadPart = static_cast<std::int64_t>(here.QuadPart);
    if (SUCCEEDED(stream_->Seek(back, STREAM_SEEK_SET, nullptr)) &&
        end.QuadPart >= here.QuadPart) {
      size_ = end.QuadPart - here.QuadPart;
    }
  }
}

void StreamReader::Report(std::uint64_t offset, std::string what, bool stop) {
  if (!problem_.found) {
    problem_.found = true;
    problem_.offset = offset;
    problem_.what = std::move(what);
  }
  if (stop) failed_ = true;
}

bool StreamReader::Refill() {
  if (end_of_stream_) return false;
  buffer_.erase(0, buffer_pos_);
  buffer_pos_ = 0;
  const std::size_t have = buffer_.size();
  buffer_.resize(have + kBufferSize);
  ULONG got = 0;
  const HRESULT hr =
      stream_->Read(buffer_.data() + have, static_cast<ULONG>(kBufferSize), &got);
  buffer_.resize(have + (FAILED(hr) ? 0 : got));
  if (FAILED(hr) || got == 0) end_of_stream_ = true;
  return SUCCEEDED(hr) && got > 0;
}

bool StreamReader::ReadBytes(void* out, std::size_t count) {
  auto* dest = static_cast<char*>(out);
  while (count > 0) {
    if (buffer_pos_ == buffer_.size() && !Refill()) return false;
    const std::size_t take = std::min(count, buffer_.size() - buffer_pos_);
    std::memcpy(dest, buffer_.data() + buffer_pos_, take);
    buffer_pos_ += take;
    offset_ += take;
    dest += take;
    count -= take;
  }
  return true;
}

std::string_view StreamReader::TakeElements(std::size_t size, std::uint64_t most) {
  if (failed_ || size == 0 || remaining() < size) return {};
  while (buffer_.size() - buffer_pos_ < size) {
    if (!Refill()) return {};
  }
  const std::uint64_t whole =
      std::min<std::uint64_t>({most, (buffer_.size() - buffer_pos_) / size,
                               remaining() / size});
  const auto bytes = static_cast<std::size_t>(whole * size);
  const std::string_view taken(buffer_.data() + buffer_pos_, bytes);
  buffer_pos_ += bytes;
  offset_ += bytes;
  return taken;
}

bool StreamReader::ReadFixed32(std::uint32_t* value, const char* what) {
  if (failed_) return false;
  const std::uint64_t at = offset_;
  unsigned char bytes[4];
  if (remaining() < 4 || !ReadBytes(bytes, 4)) {
    Report(at, std::string("stream ends inside ") + what, true);
    return false;
  }
  *value = DecodeFixed32(bytes);
  return true;
}

bool StreamReader::ReadFixed64(std::int64_t* value, const char* what) {
  if (failed_) return false;
  const std::uint64_t at = offset_;
  unsigned char bytes[8];
  if (remaining() < 8 || !ReadBytes(bytes, 8)) {
    Report(at, std::string("stream ends inside ") + what, true);
    return false;
  }
  *value = static_cast<std::int64_t>(DecodeFixed64(bytes));
  return true;
}

bool StreamReader::ReadCountedString(std::u16string* text, const char* what) {
  text->clear();
  const std::uint64_t at = offset_;
  std::uint32_t length = 0;
  if (!ReadFixed32(&length, what)) return false;
  if (length == 0) return true;  // an absent string
  const std::string name(what);
  if (length < 2 || length % 2 != 0) {
    Report(at, name + ": invalid length " + std::to_string(length), true);
    return false;
  }
  if (length > remaining()) {
    Report(at, name + ": length " + std::to_string(length) +
                   " runs past the end of the stream",
           true);
    return false;
  }
  // Read in chunks, so that memory grows only with bytes actually present.
  std::string& raw = string_bytes_;  // kept between strings: no allocation
  raw.clear();
  while (raw.size() < length) {
    const std::size_t chunk =
        std::min<std::size_t>(length - raw.size(), kBufferSize);
    const std::size_t have = raw.size();
    raw.resize(have + chunk);
    if (!ReadBytes(raw.data() + have, chunk)) {
      Report(at, "stream ends inside " + name, true);
      return false;
    }
  }
  std::u16string read(length / 2, u'\0');
  for (std::size_t i = 0; i < read.size(); ++i) {
    read[i] = static_cast<char16_t>(static_cast<unsigned char>(raw[2 * i]) |
                                    static_cast<unsigned char>(raw[2 * i + 1]) << 8);
  }
  if (read.back() != u'\0') {
    Report(at, name + ": missing terminator", true);
    return false;
  }
  read.resize(read.find(u'\0'));
  *text = std::move(read);
  return true;
}

}  // namespace qoinfo
