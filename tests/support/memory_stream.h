// An IStream over a byte string, for tests: sequential Read/Write, Seek, and
// an optional limit after which writes fail (a full disk). Lives on the
// stack; reference counting is not used.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/storage.h"

namespace qoinfo::testing {

class MemoryStream final : public IStream {
 public:
  explicit MemoryStream(std::string bytes = {}) : bytes_(std::move(bytes)) {}

  const std::string& bytes() const { return bytes_; }
  // Writes fail once the stream would grow beyond `limit` bytes.
  void FailWritesBeyond(std::size_t limit) { write_limit_ = limit; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  HRESULT STDMETHODCALLTYPE Read(void* buffer, ULONG size, ULONG* read) override {
    const std::size_t count =
        std::min<std::size_t>(size, bytes_.size() - std::min(position_, bytes_.size()));
    if (count > 0) std::memcpy(buffer, bytes_.data() + position_, count);
    position_ += count;
    if (read != nullptr) *read = static_cast<ULONG>(count);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Write(const void* buffer, ULONG size,
                                  ULONG* written) override {
    if (written != nullptr) *written = 0;
    if (position_ + size > write_limit_) return STG_E_MEDIUMFULL;
    if (position_ + size > bytes_.size()) bytes_.resize(position_ + size);
    std::memcpy(bytes_.data() + position_, buffer, size);
    position_ += size;
    if (written != nullptr) *written = size;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin,
                                 ULARGE_INTEGER* position) override {
    std::int64_t base = origin == STREAM_SEEK_SET ? 0
                        : origin == STREAM_SEEK_CUR
                            ? static_cast<std::int64_t>(position_)
                            : static_cast<std::int64_t>(bytes_.size());
    if (base + move.QuadPart < 0) return STG_E_INVALIDFUNCTION;
    position_ = static_cast<std::size_t>(base + move.QuadPart);
    if (position != nullptr) position->QuadPart = position_;
    return S_OK;
  }

#if defined(_WIN32)
  HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*,
                                   ULARGE_INTEGER*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Revert() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER,
                                       DWORD) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER,
                                         DWORD) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Stat(STATSTG*, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Clone(IStream**) override { return E_NOTIMPL; }
#endif

 private:
  std::string bytes_;
  std::size_t position_ = 0;
  std::size_t write_limit_ = SIZE_MAX;
};

// "01 00 ff" style hex of `bytes`, for readable golden comparisons.
inline std::string Hex(const std::string& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (const char c : bytes) {
    if (!out.empty()) out += ' ';
    out += kDigits[static_cast<unsigned char>(c) >> 4];
    out += kDigits[static_cast<unsigned char>(c) & 15];
  }
  return out;
}

}  // namespace qoinfo::testing
