// The native-messaging framing browsers speak with a host on its standard
// input and output: each message is UTF-8 JSON preceded by its length in
// bytes as a 32-bit unsigned integer in the machine's own byte order (the
// browser and the host always run on the same machine).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace qoinfo::tools {

enum class FrameStatus {
  kMessage,    // a whole message was read
  kEnd,        // the stream ended between two messages
  kTooLarge,   // the length was over the limit: the message was read and
               // dropped, and the next one can be read
  kTruncated,  // the stream ended inside a length or a message
};

// Reads the next frame from `in`. For kMessage its bytes are in `message`;
// `length` receives the length the frame announced (kMessage, kTooLarge).
// Memory use stays within `limit` whatever the stream announces.
FrameStatus ReadFrame(std::FILE* in, std::uint32_t limit, std::string* message,
                      std::uint32_t* length);

// Writes one frame and flushes it. False when it could not be written
// (the browser has gone).
bool WriteFrame(std::FILE* out, std::string_view message);

}  // namespace qoinfo::tools
