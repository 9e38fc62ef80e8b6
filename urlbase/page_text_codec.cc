#include "urlbase/page_text_codec.h"

#include <zstd.h>

#include <cstdint>

#include "urlbase/url_base.h"

namespace qoinfo {
namespace {

// zstd's default level: about as fast as the disk takes it, and within a few
// percent of the higher levels on page texts.
constexpr int kLevel = 3;
// A frame that claims more than this is not one of ours (1 GiB of text).
constexpr unsigned long long kMaxTextBytes = 1ull << 30;

}  // namespace

HRESULT CompressPageText(std::u16string_view text, std::string* packed) {
  std::string units(text.size() * 2, '\0');
  for (std::size_t i = 0; i < text.size(); ++i) {
    units[2 * i] = static_cast<char>(text[i] & 0xFF);
    units[2 * i + 1] = static_cast<char>(text[i] >> 8);
  }
  std::string frame(ZSTD_compressBound(units.size()), '\0');
  const std::size_t size = ZSTD_compress(frame.data(), frame.size(),
                                         units.data(), units.size(), kLevel);
  if (ZSTD_isError(size)) return E_OUTOFMEMORY;
  frame.resize(size);
  *packed = std::move(frame);
  return S_OK;
}

HRESULT DecompressPageText(std::string_view packed, std::u16string* text) {
  const unsigned long long bytes =
      ZSTD_getFrameContentSize(packed.data(), packed.size());
  if (bytes == ZSTD_CONTENTSIZE_UNKNOWN || bytes == ZSTD_CONTENTSIZE_ERROR ||
      bytes > kMaxTextBytes || bytes % 2 != 0 ||
      ZSTD_findFrameCompressedSize(packed.data(), packed.size()) !=
          packed.size()) {
    return URLBASE_E_CORRUPT;
  }
  std::string units(static_cast<std::size_t>(bytes), '\0');
  const std::size_t size = ZSTD_decompress(units.data(), units.size(),
                                           packed.data(), packed.size());
  if (ZSTD_isError(size) || size != units.size()) return URLBASE_E_CORRUPT;
  std::u16string decoded(units.size() / 2, u'\0');
  for (std::size_t i = 0; i < decoded.size(); ++i) {
    decoded[i] = static_cast<char16_t>(
        static_cast<std::uint8_t>(units[2 * i]) |
        (static_cast<std::uint8_t>(units[2 * i + 1]) << 8));
  }
  *text = std::move(decoded);
  return S_OK;
}

}  // namespace qoinfo
