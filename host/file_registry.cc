#include "host/file_registry.h"

#include "host/atomic_file.h"
#include "platform/file_system.h"
#include "platform/utf8.h"

namespace qoinfo {

HRESULT FileRegistry::Load(std::string* why) {
  if (!platform::FileExists(path_)) return FromScript(u"");
  std::string bytes;
  HRESULT hr = ReadWholeFile(path_, &bytes);
  if (FAILED(hr)) return hr;
  std::u16string script;
  std::size_t error_offset = 0;
  if (!platform::Utf8ToUtf16(bytes, &script, &error_offset)) {
    if (why != nullptr) *why = "not UTF-8 at byte " + std::to_string(error_offset);
    FromScript(u"");
    return kRegistryFileCorrupt;
  }
  hr = FromScript(script, why);
  return FAILED(hr) ? kRegistryFileCorrupt : S_OK;
}

HRESULT FileRegistry::Save() const {
  return WriteFileAtomically(path_, platform::Utf16ToUtf8(ToScript()));
}

}  // namespace qoinfo
