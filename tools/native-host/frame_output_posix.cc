#include <unistd.h>

#include "tools/native-host/frame_output.h"

namespace qoinfo::tools {

std::FILE* TakeStandardOutputForFrames() {
  std::fflush(stdout);
  const int frames = dup(STDOUT_FILENO);
  if (frames < 0) return nullptr;
  if (dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
    close(frames);
    return nullptr;
  }
  std::FILE* stream = fdopen(frames, "wb");
  if (stream == nullptr) close(frames);
  return stream;
}

}  // namespace qoinfo::tools
