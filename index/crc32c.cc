#include "index/crc32c.h"

#include <array>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <nmmintrin.h>
#endif

namespace qoinfo {
namespace {

constexpr std::uint32_t kPolynomial = 0x82F63B78u;  // reflected

// kTables[0] is the classic byte table; kTables[k][b] is the register after
// byte b followed by k zero bytes, which lets 8 bytes go in one step
// ("slicing by 8").
constexpr std::array<std::array<std::uint32_t, 256>, 8> MakeTables() {
  std::array<std::array<std::uint32_t, 256>, 8> tables{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ kPolynomial : c >> 1;
    tables[0][i] = c;
  }
  for (std::uint32_t i = 0; i < 256; ++i) {
    for (int k = 1; k < 8; ++k) {
      const std::uint32_t before = tables[k - 1][i];
      tables[k][i] = (before >> 8) ^ tables[0][before & 0xFF];
    }
  }
  return tables;
}

constexpr std::array<std::array<std::uint32_t, 256>, 8> kTables = MakeTables();

std::uint32_t Load32(const unsigned char* at) {
  return static_cast<std::uint32_t>(at[0]) |
         static_cast<std::uint32_t>(at[1]) << 8 |
         static_cast<std::uint32_t>(at[2]) << 16 |
         static_cast<std::uint32_t>(at[3]) << 24;
}

// The register (not inverted) after `size` bytes, with tables.
std::uint32_t ExtendWithTables(std::uint32_t reg, const unsigned char* at,
                               std::size_t size) {
  for (; size >= 8; at += 8, size -= 8) {
    const std::uint32_t low = reg ^ Load32(at);
    const std::uint32_t high = Load32(at + 4);
    reg = kTables[7][low & 0xFF] ^ kTables[6][(low >> 8) & 0xFF] ^
          kTables[5][(low >> 16) & 0xFF] ^ kTables[4][low >> 24] ^
          kTables[3][high & 0xFF] ^ kTables[2][(high >> 8) & 0xFF] ^
          kTables[1][(high >> 16) & 0xFF] ^ kTables[0][high >> 24];
  }
  for (; size > 0; ++at, --size) {
    reg = kTables[0][(reg ^ *at) & 0xFF] ^ (reg >> 8);
  }
  return reg;
}

#if defined(__x86_64__) || defined(__i386__)

// The instruction takes 8 bytes a step on x86-64, 4 on x86.
constexpr std::size_t kWordBytes = sizeof(void*) == 8 ? 8 : 4;

__attribute__((target("sse4.2"))) inline std::uint32_t StepWord(
    std::uint32_t reg, const unsigned char* at) {
#if defined(__x86_64__)
  std::uint64_t word;
  std::memcpy(&word, at, 8);
  return static_cast<std::uint32_t>(_mm_crc32_u64(reg, word));
#else
  std::uint32_t word;
  std::memcpy(&word, at, 4);
  return _mm_crc32_u32(reg, word);
#endif
}

// The instruction has a latency of 3 cycles and a throughput of one a
// cycle: three independent streams over three blocks keep it busy, and
// their registers are then joined by shifting each over the blocks that
// follow it (the register after n zero bytes is linear in the register).
constexpr std::size_t kBlock = 8192;

// The register after kBlock zero bytes, as four byte tables.
struct BlockShift {
  std::uint32_t table[4][256];
  std::uint32_t Apply(std::uint32_t reg) const {
    return table[0][reg & 0xFF] ^ table[1][(reg >> 8) & 0xFF] ^
           table[2][(reg >> 16) & 0xFF] ^ table[3][reg >> 24];
  }
};

__attribute__((target("sse4.2"))) std::uint32_t ShiftOverZeros(
    std::uint32_t reg) {
  static constexpr unsigned char kZeros[8] = {};
  for (std::size_t i = 0; i < kBlock; i += kWordBytes) {
    reg = StepWord(reg, kZeros);
  }
  return reg;
}

__attribute__((target("sse4.2"))) BlockShift MakeBlockShift() {
  std::uint32_t column[32];
  for (int bit = 0; bit < 32; ++bit) column[bit] = ShiftOverZeros(1u << bit);
  BlockShift shift{};
  for (int part = 0; part < 4; ++part) {
    for (std::uint32_t byte = 0; byte < 256; ++byte) {
      std::uint32_t value = 0;
      for (int bit = 0; bit < 8; ++bit) {
        if (byte & (1u << bit)) value ^= column[part * 8 + bit];
      }
      shift.table[part][byte] = value;
    }
  }
  return shift;
}

__attribute__((target("sse4.2"))) std::uint32_t ExtendWithInstruction(
    std::uint32_t reg, const unsigned char* at, std::size_t size) {
  if (size >= 3 * kBlock) {
    static const BlockShift shift = MakeBlockShift();
    do {
      std::uint32_t r1 = 0;
      std::uint32_t r2 = 0;
      for (std::size_t i = 0; i < kBlock; i += kWordBytes) {
        reg = StepWord(reg, at + i);
        r1 = StepWord(r1, at + kBlock + i);
        r2 = StepWord(r2, at + 2 * kBlock + i);
      }
      reg = shift.Apply(shift.Apply(reg) ^ r1) ^ r2;
      at += 3 * kBlock;
      size -= 3 * kBlock;
    } while (size >= 3 * kBlock);
  }
  for (; size >= kWordBytes; at += kWordBytes, size -= kWordBytes) {
    reg = StepWord(reg, at);
  }
  for (; size > 0; ++at, --size) reg = _mm_crc32_u8(reg, *at);
  return reg;
}

// Asked once; __builtin_cpu_init readies the answer even when this runs
// before the runtime's own constructors.
const bool kHasInstruction =
    (__builtin_cpu_init(), __builtin_cpu_supports("sse4.2"));

#endif

}  // namespace

std::uint32_t Crc32cExtend(std::uint32_t crc, const void* bytes,
                           std::size_t size) {
  const auto* at = static_cast<const unsigned char*>(bytes);
  const std::uint32_t reg = crc ^ 0xFFFFFFFFu;
#if defined(__x86_64__) || defined(__i386__)
  if (kHasInstruction) {
    return ExtendWithInstruction(reg, at, size) ^ 0xFFFFFFFFu;
  }
#endif
  return ExtendWithTables(reg, at, size) ^ 0xFFFFFFFFu;
}

std::uint32_t Crc32c(std::string_view bytes) {
  return Crc32cExtend(0, bytes.data(), bytes.size());
}

}  // namespace qoinfo
