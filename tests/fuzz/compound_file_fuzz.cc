// libFuzzer target for the compound-file reader under the index files: any
// bytes as "1.hcpa" and as "2.hcpb" must be read or refused without a crash,
// a hang or undefined behaviour, and nothing may be copied aside for a file
// that was not read.
#include <cstddef>
#include <cstdint>

#include "index/index_files.h"
#include "platform/file_system.h"
#include "tests/fuzz/temp_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  using namespace qoinfo;
  const std::string& path = fuzzing::InputPath("index");
  fuzzing::WriteInput(path, data, size);
  const std::u16string native(path.begin(), path.end());
  IndexFileLoad status;
  CIDContainer records;
  ReadIndexFile(native, records, status);
  CWordToIdsContainer words;
  ReadIndexFile(native, words, status);
  return 0;
}
