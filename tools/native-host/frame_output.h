// Standard output, kept for the host's frames alone. The host's standard
// output is moved onto standard error, so that nothing printed by this
// process or a library it uses can reach the browser in place of a frame.
#pragma once

#include <cstdio>

namespace qoinfo::tools {

// The stream the frames are written to (binary); null when standard output
// could not be taken. Call once, before anything is printed.
std::FILE* TakeStandardOutputForFrames();

}  // namespace qoinfo::tools
