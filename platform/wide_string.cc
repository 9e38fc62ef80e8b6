#include "platform/wide_string.h"

namespace platform {

std::u16string FromOleString(const OLECHAR* text) {
  std::u16string out;
  if (text == nullptr) return out;
  const OLECHAR* end = text;
  while (*end != 0) ++end;
  out.assign(text, end);
  return out;
}

OleString ToOleString(std::u16string_view text) {
  return OleString(text.begin(), text.end());
}

BSTR AllocBstr(std::u16string_view text) {
  if (text.size() > 0x7FFFFFF0u) return nullptr;
  BSTR out = SysAllocStringLen(nullptr, static_cast<UINT>(text.size()));
  if (out == nullptr) return nullptr;
  for (std::size_t i = 0; i < text.size(); ++i) {
    out[i] = static_cast<OLECHAR>(text[i]);
  }
  return out;
}

}  // namespace platform
