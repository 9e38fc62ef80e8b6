#include "platform/text_case.h"

namespace platform {

void LowerCaseInPlace(OLECHAR* text, UINT length) {
  if (length > 0) CharLowerBuffW(text, length);
}

}  // namespace platform
