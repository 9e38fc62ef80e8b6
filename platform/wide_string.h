// Conversions between BSTR/OLECHAR text and std::u16string, the string type
// of the code base. OLECHAR is wchar_t on Windows and char16_t elsewhere;
// both are UTF-16 code units.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/com_base.h"

namespace platform {

// The units of `text` up to its first NUL; a null pointer gives "".
std::u16string FromOleString(const OLECHAR* text);

// All units of a BSTR, embedded NULs included; null gives "".
inline std::u16string FromBstr(BSTR text) {
  if (text == nullptr) return std::u16string();
  return std::u16string(text, text + SysStringLen(text));
}

// Owns a BSTR and frees it with SysFreeString.
struct BstrFree {
  void operator()(OLECHAR* text) const { SysFreeString(text); }
};
using UniqueBstr = std::unique_ptr<OLECHAR, BstrFree>;

// `text` as a NUL-terminated OLECHAR string, for calls that take LPCOLESTR.
using OleString = std::basic_string<OLECHAR>;
OleString ToOleString(std::u16string_view text);

// A new BSTR holding all units of `text`, embedded NULs included;
// nullptr when it cannot be allocated.
BSTR AllocBstr(std::u16string_view text);

}  // namespace platform
