// qoinfo-native-host: the browser extension's way to QoInfoAgent. A
// browser starts it (it finds the program through the host manifest that
// `qoinfo install-browser` writes) and talks to it in native-messaging
// frames on its standard input and output: visits to file, searches,
// visits to forget (request_handler.h), one reply to each message, an error
// reply to a message it cannot read. It runs until the browser closes its
// standard input. Standard output carries frames and nothing else; the log
// goes to standard error.
#include <iostream>

#include "platform/utf8_main.h"
#include "tools/native-host/frame_output.h"
#include "tools/native-host/frames.h"
#include "tools/native-host/request_handler.h"

int Utf8Main(const std::vector<std::string>& args) {
  using namespace qoinfo::tools;
  std::FILE* frames = TakeStandardOutputForFrames();
  if (frames == nullptr) {
    std::cerr << "qoinfo-native-host: standard output cannot be used\n";
    return 1;
  }
  // Browsers name the extension that started the host (Chromium: its
  // origin; Firefox: the manifest and the extension's id).
  std::cerr << "qoinfo-native-host: started";
  for (std::size_t i = 1; i < args.size(); ++i) std::cerr << ' ' << args[i];
  std::cerr << std::endl;
  RequestHandler handler;
  for (;;) {
    std::string message, reply;
    std::uint32_t length = 0;
    const FrameStatus status =
        ReadFrame(stdin, kMaxMessageBytes, &message, &length);
    if (status == FrameStatus::kEnd) return 0;
    if (status == FrameStatus::kMessage) {
      reply = handler.Handle(message);
    } else if (status == FrameStatus::kTooLarge) {
      reply =
          ErrorReply("null",
                     "a message of " + std::to_string(length) +
                         " bytes is longer than the " +
                         std::to_string(kMaxMessageBytes) + " this host reads",
                     E_INVALIDARG);
    } else {
      reply =
          ErrorReply("null", "the input ended inside a message", E_INVALIDARG);
    }
    if (status != FrameStatus::kMessage) {
      std::cerr << "qoinfo-native-host: " << reply << std::endl;
    }
    if (!WriteFrame(frames, reply)) {
      std::cerr << "qoinfo-native-host: the browser no longer reads\n";
      return 1;
    }
    if (status == FrameStatus::kTruncated) return 1;
  }
}
