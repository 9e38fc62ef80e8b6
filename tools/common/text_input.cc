#include "tools/common/text_input.h"

#include <iostream>
#include <iterator>
#include <memory>
#include <new>

#include "platform/plain_file.h"
#include "platform/utf8.h"
#include "tools/common/exit_codes.h"

namespace qoinfo::tools {

bool ReadAllBytes(const std::string& path, std::string* bytes,
                  std::string* error) {
  if (path.empty() || path == "-") {
    bytes->assign(std::istreambuf_iterator<char>(std::cin),
                  std::istreambuf_iterator<char>());
    if (std::cin.bad()) {
      *error = "cannot read standard input";
      return false;
    }
    return true;
  }
  std::u16string native;
  std::size_t bad_byte = 0;
  if (!platform::Utf8ToUtf16(path, &native, &bad_byte)) {
    *error = "the file name '" + path + "' is not valid UTF-8";
    return false;
  }
  std::unique_ptr<platform::FileReader> file;
  HRESULT hr = platform::FileReader::Open(
      native, &file, platform::FileReader::Source::kNamedFileOrPipe);
  if (hr == platform::kNotARegularFile) {
    *error = "'" + path + "' is not a regular file";
    return false;
  }
  if (FAILED(hr)) {
    *error = "cannot open '" + path + "': " + DescribeHResult(hr);
    return false;
  }
  bytes->clear();
  constexpr std::size_t kChunk = 1 << 20;
  for (;;) {
    const std::size_t before = bytes->size();
    try {
      hr = file->Read(kChunk, bytes);
    } catch (const std::bad_alloc&) {
      hr = E_OUTOFMEMORY;
    }
    if (FAILED(hr)) {
      *error = "cannot read '" + path + "': " + DescribeHResult(hr);
      return false;
    }
    if (bytes->size() - before < kChunk) return true;
  }
}

bool DecodeUtf8Name(const std::string& bytes, std::u16string* text,
                    std::string* error) {
  std::string_view view(bytes);
  std::size_t skipped = 0;
  if (view.substr(0, 3) == "\xEF\xBB\xBF") {
    view.remove_prefix(3);
    skipped = 3;
  }
  std::size_t offset = 0;
  if (!platform::Utf8ToUtf16(view, text, &offset)) {
    *error = "invalid UTF-8 at byte " + std::to_string(offset + skipped);
    return false;
  }
  return true;
}

bool DecodeUtf8Text(const std::string& bytes, std::u16string* text,
                    std::string* error) {
  if (!DecodeUtf8Name(bytes, text, error)) return false;
  platform::ToCarriedText(text);
  return true;
}

}  // namespace qoinfo::tools
