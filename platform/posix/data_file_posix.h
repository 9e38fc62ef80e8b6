// How a data file (anything in the data directory) is opened on POSIX, for
// every reader and writer of one: never through a final symbolic link
// (O_NOFOLLOW: the open fails with ELOOP, which callers report as
// kSymbolicLink), created with mode 0600, and, when it is a regular file
// that others may read (made by an earlier version, or by hand), made
// private to its owner.
#pragma once

#include <string>

namespace platform {

// ::open(path, flags | O_NOFOLLOW | O_CLOEXEC, 0600): the descriptor, or -1
// with errno set.
int OpenDataFile(const std::string& path, int flags);

}  // namespace platform
