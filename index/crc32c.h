// CRC-32C (Castagnoli), the checksum of each change-journal record and of
// the index image. Computed with the processor's CRC instruction where it
// has one (x86 with SSE4.2: about 10 GB/s on x86-64), with tables
// elsewhere (about 1 GB/s).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace qoinfo {

std::uint32_t Crc32c(std::string_view bytes);

// The CRC-32C of the bytes whose CRC-32C is `crc` followed by `size` more
// bytes: Crc32cExtend(Crc32c(a), b) == Crc32c(a + b), and Crc32c("") is 0.
std::uint32_t Crc32cExtend(std::uint32_t crc, const void* bytes,
                           std::size_t size);

}  // namespace qoinfo
