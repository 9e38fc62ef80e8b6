#include "host/linux/command_line.h"

#include "platform/utf8.h"

namespace qoinfo::bus {

std::u16string CommandLineText(int argc, char** argv) {
  std::string line;
  for (int i = 0; i < argc; ++i) {
    if (i > 0) line += ' ';
    line += argv[i];
  }
  std::u16string units;
  std::size_t offset = 0;
  platform::Utf8ToUtf16(line, &units, &offset);
  return units;
}

}  // namespace qoinfo::bus
