// libFuzzer target for the index stream reader. The first byte picks the
// container (even: page records, odd: word index); the rest is the stream.
// Reading must end without a crash, a leak or undefined behaviour, and what
// it read must survive a write and a second read unchanged (the bytes written
// after the second read equal those written after the first).
#include <cstddef>
#include <cstdint>
#include <string>

#include "index/id_container.h"
#include "index/word_to_ids_container.h"
#include "tests/support/memory_stream.h"

namespace {

template <typename Container>
void ReadWriteRead(const std::string& bytes) {
  qoinfo::testing::MemoryStream in(bytes);
  Container first;
  first.Serialize(&in, true);
  qoinfo::testing::MemoryStream out;
  if (first.Serialize(&out, false) != S_OK) __builtin_trap();
  qoinfo::testing::MemoryStream again(out.bytes());
  Container second;
  second.Serialize(&again, true);
  qoinfo::testing::MemoryStream out_again;
  second.Serialize(&out_again, false);
  if (out_again.bytes() != out.bytes()) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (data[0] % 2 == 0) {
    ReadWriteRead<qoinfo::CIDContainer>(bytes);
  } else {
    ReadWriteRead<qoinfo::CWordToIdsContainer>(bytes);
  }
  return 0;
}
