// libFuzzer target for the mapping of the records that arrive over D-Bus:
// the bytes are cut into the four strings of a page record (url, text,
// path, title) and the three of a hit. A record is refused (E_INVALIDARG)
// exactly when a string is not UTF-8; one taken and sent back gives the
// same strings, unless they held a NUL or a noncharacter (what the bus
// carries is cut at a NUL and has U+FFFD for a noncharacter).
#include <cstddef>
#include <cstdint>
#include <string>

#include "host/linux/bus_records.h"
#include "platform/utf8.h"

namespace {

bool IsUtf8(const std::string& text) {
  std::u16string ignored;
  std::size_t offset = 0;
  return platform::Utf8ToUtf16(text, &ignored, &offset);
}

// Whether the bus carries `text` unchanged.
bool CarriedAsIs(const std::string& text) {
  std::u16string units;
  std::size_t offset = 0;
  platform::Utf8ToUtf16(text, &units, &offset);
  std::u16string carried = units;
  platform::ToCarriedText(&carried);
  return carried == units;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  using namespace qoinfo::bus;
  std::string fields[4];
  std::size_t at = 0;
  for (std::string& field : fields) {
    const std::size_t length = at < size ? data[at++] : 0;
    const std::size_t take = std::min(length, size - at);
    field.assign(reinterpret_cast<const char*>(data) + at, take);
    at += take;
  }
  fields[3].append(reinterpret_cast<const char*>(data) + at, size - at);
  const PageRecord record(std::int64_t{7}, fields[0], fields[1], fields[2],
                          fields[3]);
  ReceivedPage page;
  const HRESULT hr = PageFromRecord(record, &page);
  bool valid = true;
  bool as_is = true;
  for (const std::string& field : fields) {
    valid &= IsUtf8(field);
    as_is &= CarriedAsIs(field);
  }
  if (valid != (hr == S_OK)) __builtin_trap();
  if (hr == S_OK && as_is && !(RecordFromPage(page.View()) == record))
    __builtin_trap();

  const HitRecord hit_record(std::int64_t{-1}, fields[0], fields[2], fields[3],
                             42);
  _URL_DATE_IA_S hit{};
  if (SUCCEEDED(HitFromRecord(hit_record, &hit))) {
    SysFreeString(hit.Url);
    SysFreeString(hit.Path);
    SysFreeString(hit.Title);
  }
  return 0;
}
