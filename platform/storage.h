// Compound files (structured storage): IStorage, IStream, StgCreateStorageEx
// and StgOpenStorageEx. Windows uses the system's; POSIX provides the subset
// the index files need over libgsf's compound-file reader and writer. Files
// written by either side are read by the other.
//
// The POSIX subset: create (STGM_CREATE | STGM_WRITE) or open (STGM_READ) a
// compound file; create or open a stream in its root storage; sequential
// Read and Write; Seek; Commit of the root storage, which completes the file
// and reports whether it reached the disk.
#pragma once

#include "platform/com_base.h"

#if defined(_WIN32)
#include <objbase.h>
#else
#include "platform/posix/storage_posix.h"
#endif
