// CIStreamSerializable: an object that writes itself to, and reads itself
// from, the current position of a byte stream, in one sequential pass.
// Writing returns S_OK only when every byte was written. Reading stops at the
// first malformed element, keeps what it read before it, and returns
// kIndexStreamDamaged with the problem described in `problem` (when given);
// reading adds to what the object holds rather than clearing it first.
#pragma once

#include "index/stream_io.h"

namespace qoinfo {

class CIStreamSerializable {
 public:
  virtual HRESULT Serialize(IStream* stream, bool bLoad,
                            StreamProblem* problem = nullptr) = 0;

 protected:
  ~CIStreamSerializable() = default;
};

// Runs `read` (returning nothing) or `write` over `stream`, mapping the
// reader's or writer's state to the Serialize result.
template <typename ReadFn, typename WriteFn>
HRESULT SerializeWith(IStream* stream, bool bLoad, StreamProblem* problem,
                      ReadFn&& read, WriteFn&& write) {
  if (stream == nullptr) return E_POINTER;
  if (bLoad) {
    StreamReader reader(stream);
    read(reader);
    if (problem != nullptr) *problem = reader.problem();
    return reader.problem().found ? kIndexStreamDamaged : S_OK;
  }
  StreamWriter writer(stream);
  write(writer);
  return writer.Finish();
}

}  // namespace qoinfo
