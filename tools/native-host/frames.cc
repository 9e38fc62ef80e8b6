#include "tools/native-host/frames.h"

#include <algorithm>
#include <cstring>

namespace qoinfo::tools {

FrameStatus ReadFrame(std::FILE* in, std::uint32_t limit, std::string* message,
                      std::uint32_t* length) {
  message->clear();
  *length = 0;
  unsigned char header[4];
  const std::size_t got = std::fread(header, 1, sizeof header, in);
  if (got == 0) return FrameStatus::kEnd;
  if (got < sizeof header) return FrameStatus::kTruncated;
  // The machine's byte order, as the protocol defines it.
  std::memcpy(length, header, sizeof header);
  if (*length > limit) {
    char skipped[64 * 1024];
    for (std::uint32_t left = *length; left > 0;) {
      const std::size_t part = std::min<std::size_t>(left, sizeof skipped);
      if (std::fread(skipped, 1, part, in) != part) {
        return FrameStatus::kTruncated;
      }
      left -= static_cast<std::uint32_t>(part);
    }
    return FrameStatus::kTooLarge;
  }
  message->resize(*length);
  if (std::fread(message->data(), 1, *length, in) != *length) {
    message->clear();
    return FrameStatus::kTruncated;
  }
  return FrameStatus::kMessage;
}

bool WriteFrame(std::FILE* out, std::string_view message) {
  const std::uint32_t length = static_cast<std::uint32_t>(message.size());
  unsigned char header[4];
  std::memcpy(header, &length, sizeof header);
  return std::fwrite(header, 1, sizeof header, out) == sizeof header &&
         std::fwrite(message.data(), 1, message.size(), out) ==
             message.size() &&
         std::fflush(out) == 0;
}

}  // namespace qoinfo::tools
