// A small file replaced whole and durably: the bytes go to `temporary`
// beside it, are forced to the disk and renamed over `path`, so a reader or
// a crash sees the old file or the new one, never a part. Built on the
// other platform file calls; the same on every OS.
#pragma once

#include <string>
#include <string_view>

#include "platform/com_base.h"

namespace platform {

HRESULT WriteWholeFileDurably(const std::u16string& path,
                              const std::u16string& temporary,
                              std::string_view bytes);

}  // namespace platform
