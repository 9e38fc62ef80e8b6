#include <new>

#include "platform/com_base.h"

namespace {

constexpr std::size_t kPrefixBytes = sizeof(std::uint32_t);
// Windows caps a BSTR's byte length at what a 32-bit prefix can hold.
constexpr std::uint64_t kMaxBytes = 0xFFFFFFFFull - kPrefixBytes - 2;

std::uint32_t* PrefixOf(BSTR text) {
  return reinterpret_cast<std::uint32_t*>(reinterpret_cast<char*>(text) -
                                          kPrefixBytes);
}

}  // namespace

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
  const std::uint64_t bytes = std::uint64_t{length} * sizeof(OLECHAR);
  if (bytes > kMaxBytes) return nullptr;
  // operator new (nothrow) rather than malloc, so that tests which make
  // allocations fail reach string allocation too.
  void* block = ::operator new(kPrefixBytes + bytes + sizeof(OLECHAR),
                               std::nothrow);
  if (block == nullptr) return nullptr;
  auto* prefix = static_cast<std::uint32_t*>(block);
  *prefix = static_cast<std::uint32_t>(bytes);
  BSTR units = reinterpret_cast<BSTR>(static_cast<char*>(block) + kPrefixBytes);
  if (text != nullptr) {
    std::memcpy(units, text, bytes);
  } else {
    std::memset(units, 0, bytes);
  }
  units[length] = 0;
  return units;
}

BSTR SysAllocString(const OLECHAR* text) {
  if (text == nullptr) return nullptr;
  UINT length = 0;
  while (text[length] != 0) ++length;
  return SysAllocStringLen(text, length);
}

UINT SysStringByteLen(BSTR text) {
  return text == nullptr ? 0 : *PrefixOf(text);
}

UINT SysStringLen(BSTR text) {
  return SysStringByteLen(text) / sizeof(OLECHAR);
}

void SysFreeString(BSTR text) {
  if (text != nullptr) ::operator delete(PrefixOf(text));
}
