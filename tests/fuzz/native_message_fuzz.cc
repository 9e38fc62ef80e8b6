// libFuzzer target for the messages of the browser's native host: a frame
// stream is read frame by frame (the reader's memory bounded by its cap),
// and each message either becomes a request whose texts are valid UTF-16
// and whose id is JSON the reply can carry, or is refused with a reason.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "tools/common/json_reader.h"
#include "tools/native-host/frames.h"
#include "tools/native-host/host_request.h"

namespace {

bool WellFormed(const std::u16string& text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (unit >= 0xDC00 && unit <= 0xDFFF) return false;
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      if (++i == text.size() || text[i] < 0xDC00 || text[i] > 0xDFFF) {
        return false;
      }
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  using namespace qoinfo::tools;
  std::FILE* in = fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
  if (in == nullptr) return 0;
  for (;;) {
    std::string message, error;
    std::uint32_t length = 0;
    const FrameStatus status = ReadFrame(in, 4096, &message, &length);
    if (status == FrameStatus::kEnd || status == FrameStatus::kTruncated) break;
    if (status == FrameStatus::kTooLarge) continue;
    if (message.size() != length) __builtin_trap();
    HostRequest request;
    if (!ParseHostRequest(message, &request, &error)) {
      if (error.empty()) __builtin_trap();
      continue;
    }
    JsonObject id;
    if (!WellFormed(request.url) || !WellFormed(request.text) ||
        !WellFormed(request.title) || !WellFormed(request.query) ||
        !ParseJsonFlatObject("{\"id\":" + request.id_json + "}", &id, &error)) {
      __builtin_trap();
    }
  }
  std::fclose(in);
  return 0;
}
