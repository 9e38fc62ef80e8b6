// CRC-32C (Castagnoli), the checksum of each change-journal record.
#pragma once

#include <cstdint>
#include <string_view>

namespace qoinfo {

std::uint32_t Crc32c(std::string_view bytes);

}  // namespace qoinfo
