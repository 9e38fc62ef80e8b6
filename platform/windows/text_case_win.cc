#include "platform/text_case.h"

namespace platform {

void LowerCaseInPlace(OLECHAR* text, UINT length) {
  if (length > 0) CharLowerBuffW(text, length);
}

void LowerCaseInPlace(std::u16string& text) {
  // char16_t and wchar_t are both UTF-16 code units here.
  LowerCaseInPlace(reinterpret_cast<OLECHAR*>(text.data()),
                   static_cast<UINT>(text.size()));
}

}  // namespace platform
