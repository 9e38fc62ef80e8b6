#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "tools/native-host/frame_output.h"

namespace qoinfo::tools {

std::FILE* TakeStandardOutputForFrames() {
  std::fflush(stdout);
  const int frames = _dup(_fileno(stdout));
  if (frames < 0) return nullptr;
  // Both the C runtime's descriptor and the process's handle: a library may
  // write to either.
  if (_dup2(_fileno(stderr), _fileno(stdout)) != 0) {
    _close(frames);
    return nullptr;
  }
  SetStdHandle(STD_OUTPUT_HANDLE, GetStdHandle(STD_ERROR_HANDLE));
  // A program started from this one (wine starts a COM server from its
  // client) must not hold the browser's pipes open: the browser sees the
  // host end only when no handle to its pipe is left.
  SetHandleInformation(reinterpret_cast<HANDLE>(_get_osfhandle(frames)),
                       HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(GetStdHandle(STD_INPUT_HANDLE), HANDLE_FLAG_INHERIT, 0);
  _setmode(frames, _O_BINARY);
  std::FILE* stream = _fdopen(frames, "wb");
  if (stream == nullptr) _close(frames);
  return stream;
}

}  // namespace qoinfo::tools
