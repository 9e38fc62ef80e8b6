// Synthetic page texts for the micro-benchmarks: `words` words drawn from a
// Zipf-like vocabulary of 5,000 words, deterministic for a seed.
#pragma once

#include <cmath>
#include <cstdint>
#include <random>
#include <string>

namespace qoinfo::bench {

inline std::u16string SyntheticText(std::size_t words, std::uint64_t seed) {
  std::mt19937_64 rng(seed);
  std::u16string text;
  for (std::size_t i = 0; i < words; ++i) {
    const std::uint64_t rank =
        1 + static_cast<std::uint64_t>(
                5000.0 *
                std::pow(static_cast<double>(rng() % 10000 + 1) / 10000.0, 3));
    if (i) text += (rng() % 11 == 0) ? u", " : u" ";
    text += u"w" + std::u16string(1, static_cast<char16_t>(u'a' + rank % 26)) +
            std::u16string(1, static_cast<char16_t>(u'a' + (rank / 26) % 26)) +
            std::u16string(1, static_cast<char16_t>(u'a' + rank / 676));
  }
  return text;
}

}  // namespace qoinfo::bench
