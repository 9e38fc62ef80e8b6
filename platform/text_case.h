// Lower-casing of UTF-16 text in place, with the simple (one-to-one)
// mapping, so the length never changes. A unit of the Basic Multilingual
// Plane is lowered on its own; a surrogate pair is lowered as the character
// it encodes; an unpaired surrogate is left alone. Windows lowers with the
// system's CharLowerBuffW, which behaves so; POSIX with ICU's simple mapping,
// except for the units in case_exceptions.h, which it leaves unchanged as
// Windows does.
#pragma once

#include <string>

#include "platform/com_base.h"

namespace platform {

void LowerCaseInPlace(OLECHAR* text, UINT length);
void LowerCaseInPlace(std::u16string& text);

}  // namespace platform
