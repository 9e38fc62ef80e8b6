// Whole small files written in one step: the new content goes to a
// temporary file beside the target, is forced to the disk, and is renamed
// over the target, so a reader (or a crash) sees the old file or the new
// one, never a part. For the registry file, activation files and units.
#pragma once

#include <string>
#include <string_view>

#include "platform/com_base.h"

namespace qoinfo {

// Writes `bytes` to `path`, creating the folder that holds it when missing.
HRESULT WriteFileAtomically(const std::u16string& path, std::string_view bytes);

// Reads the whole regular file at `path`; the lookup error when absent.
HRESULT ReadWholeFile(const std::u16string& path, std::string* bytes);

}  // namespace qoinfo
