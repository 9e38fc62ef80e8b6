// Lower-casing of UTF-16 text, one code unit at a time, in place. Surrogate
// units are left alone, so characters outside the Basic Multilingual Plane
// keep their case. Windows lowers with the system's CharLowerBuffW; POSIX
// with ICU's simple mapping, except for the units in case_exceptions.h,
// which it leaves unchanged as Windows does.
#pragma once

#include "platform/com_base.h"

namespace platform {

void LowerCaseInPlace(OLECHAR* text, UINT length);

}  // namespace platform
