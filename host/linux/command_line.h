// A Linux server's arguments as one UTF-16 line, program path included, as
// the Windows servers see theirs: what FindServerSwitch reads.
#pragma once

#include <string>

namespace qoinfo::bus {

// argv[0..argc) joined by single spaces; bytes that are not UTF-8 end the
// text where they start.
std::u16string CommandLineText(int argc, char** argv);

}  // namespace qoinfo::bus
