#include "index/change_journal.h"

#include <algorithm>
#include <cstring>

#include "index/crc32c.h"
#include "index/index_files.h"
#include "index/stream_io.h"
#include "platform/file_system.h"

namespace qoinfo {
namespace {

constexpr std::size_t kReadChunk = 1 << 20;

// Parses little-endian values off the front of a byte range; each Get
// returns false on short input and then leaves the range as it was.
class ByteParser {
 public:
  explicit ByteParser(std::string_view bytes) : rest_(bytes) {}

  bool GetByte(std::uint8_t* value) {
    if (rest_.empty()) return false;
    *value = static_cast<std::uint8_t>(rest_[0]);
    rest_.remove_prefix(1);
    return true;
  }
  bool GetFixed32(std::uint32_t* value) {
    if (rest_.size() < 4) return false;
    *value = Decode32(rest_.data());
    rest_.remove_prefix(4);
    return true;
  }
  bool GetFixed64(std::uint64_t* value) {
    if (rest_.size() < 8) return false;
    *value = std::uint64_t{Decode32(rest_.data())} |
             std::uint64_t{Decode32(rest_.data() + 4)} << 32;
    rest_.remove_prefix(8);
    return true;
  }
  // A counted string: byte length 2 * units + 2 with a 0x0000 terminator,
  // or 0 for an absent string; the text ends at its first NUL unit.
  bool GetCountedString(std::u16string* text) {
    std::uint32_t length = 0;
    if (!GetFixed32(&length)) return false;
    if (length == 0) {
      text->clear();
      return true;
    }
    if (length % 2 != 0 || length > rest_.size()) return false;
    const std::size_t units = length / 2 - 1;
    if (rest_[2 * units] != 0 || rest_[2 * units + 1] != 0) return false;
    text->resize(units);
    for (std::size_t i = 0; i < units; ++i) {
      (*text)[i] = static_cast<char16_t>(
          static_cast<unsigned char>(rest_[2 * i]) |
          static_cast<unsigned char>(rest_[2 * i + 1]) << 8);
    }
    const std::size_t nul = text->find(u'\0');
    if (nul != std::u16string::npos) text->resize(nul);
    rest_.remove_prefix(length);
    return true;
  }
  std::size_t remaining() const { return rest_.size(); }

 private:
  static std::uint32_t Decode32(const char* p) {
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    return std::uint32_t{u[0]} | std::uint32_t{u[1]} << 8 |
           std::uint32_t{u[2]} << 16 | std::uint32_t{u[3]} << 24;
  }

  std::string_view rest_;
};

}  // namespace

void EncodeJournalRecord(const PageChange& change, std::string* out) {
  std::string payload;
  payload.push_back(static_cast<char>(change.kind));
  PutFixed64(&payload, static_cast<std::uint64_t>(change.record.m_time));
  PutCountedString(&payload, change.record.m_url);
  if (change.kind == PageChange::Kind::kPageAdded) {
    PutCountedString(&payload, change.record.m_path);
    PutCountedString(&payload, change.record.m_title);
    PutFixed32(&payload, static_cast<std::uint32_t>(change.words.size()));
    for (const auto& [word, count] : change.words) {
      PutCountedString(&payload, word);
      PutFixed32(&payload, static_cast<std::uint32_t>(count));
    }
  }
  PutFixed32(out, static_cast<std::uint32_t>(payload.size()));
  PutFixed32(out, Crc32c(payload));
  out->append(payload);
}

bool DecodeJournalPayload(std::string_view payload, PageChange* change,
                          std::string* problem) {
  ByteParser parser(payload);
  std::uint8_t kind = 0;
  std::uint64_t time = 0;
  *change = PageChange();
  if (!parser.GetByte(&kind) ||
      (kind != static_cast<std::uint8_t>(PageChange::Kind::kPageAdded) &&
       kind != static_cast<std::uint8_t>(PageChange::Kind::kPageRemoved))) {
    *problem = "unknown record kind";
    return false;
  }
  change->kind = static_cast<PageChange::Kind>(kind);
  CTimeURLContainer& record = change->record;
  if (!parser.GetFixed64(&time) || !parser.GetCountedString(&record.m_url)) {
    *problem = "truncated visit";
    return false;
  }
  record.m_time = static_cast<std::int64_t>(time);
  if (change->kind == PageChange::Kind::kPageAdded) {
    std::uint32_t count = 0;
    if (!parser.GetCountedString(&record.m_path) ||
        !parser.GetCountedString(&record.m_title) ||
        !parser.GetFixed32(&count)) {
      *problem = "truncated page record";
      return false;
    }
    // Each word takes at least 8 bytes: no allocation from a wild count.
    if (count > parser.remaining() / 8) {
      *problem = "word count beyond the record";
      return false;
    }
    for (std::uint32_t i = 0; i < count; ++i) {
      std::u16string word;
      std::uint32_t occurrences = 0;
      if (!parser.GetCountedString(&word) || !parser.GetFixed32(&occurrences)) {
        *problem = "truncated word list";
        return false;
      }
      change->words.Insert(word, static_cast<std::int32_t>(occurrences));
    }
  }
  if (parser.remaining() != 0) {
    *problem = "bytes after the record";
    return false;
  }
  return true;
}

JournalReplay ReplayJournal(const std::u16string& path,
                            const std::function<void(const PageChange&)>& apply,
                            bool copy_damaged) {
  JournalReplay replay;
  std::unique_ptr<platform::FileReader> file;
  replay.hr = platform::FileReader::Open(
      path, &file, platform::FileReader::Source::kDataFile);
  if (FAILED(replay.hr)) {
    if (!platform::FileExists(path)) replay.hr = S_OK;  // nothing to replay
    return replay;
  }
  replay.file_bytes = file->Size();
  auto fail = [&](std::string problem) {
    replay.damaged = true;
    replay.problem = "damaged at byte " + std::to_string(replay.valid_bytes) +
                     ": " + std::move(problem);
  };
  std::string buffer;
  std::size_t pos = 0;
  std::uint64_t read = 0;
  bool at_end = false;
  // Makes `count` bytes available at `pos`; false at the end of the file.
  // Reads at least a chunk, but never more than the file still holds.
  auto need = [&](std::size_t count) {
    while (buffer.size() - pos < count && !at_end) {
      buffer.erase(0, pos);
      pos = 0;
      const std::size_t before = buffer.size();
      const std::uint64_t left =
          replay.file_bytes > read ? replay.file_bytes - read : 0;
      const std::size_t want = std::max<std::size_t>(
          count - buffer.size(),
          static_cast<std::size_t>(std::min<std::uint64_t>(kReadChunk, left)));
      replay.hr = file->Read(want, &buffer);
      read += buffer.size() - before;
      if (FAILED(replay.hr) || buffer.size() == before) at_end = true;
    }
    return buffer.size() - pos >= count;
  };
  if (replay.file_bytes == 0) return replay;
  if (!need(kJournalHeaderBytes) ||
      std::memcmp(buffer.data(), kJournalMagic, kJournalHeaderBytes) != 0) {
    fail("not a change journal");
  } else {
    pos = kJournalHeaderBytes;
    replay.valid_bytes = kJournalHeaderBytes;
    PageChange change;
    std::string problem;
    while (need(1)) {
      if (!need(kJournalFrameBytes)) {
        fail("torn record header");
        break;
      }
      ByteParser frame(
          std::string_view(buffer).substr(pos, kJournalFrameBytes));
      std::uint32_t length = 0, checksum = 0;
      frame.GetFixed32(&length);
      frame.GetFixed32(&checksum);
      if (length > kJournalMaxPayload || length > replay.file_bytes -
                                                      replay.valid_bytes -
                                                      kJournalFrameBytes) {
        fail("torn record (length " + std::to_string(length) + ")");
        break;
      }
      if (!need(kJournalFrameBytes + length)) {
        fail("torn record");
        break;
      }
      const std::string_view payload =
          std::string_view(buffer).substr(pos + kJournalFrameBytes, length);
      if (Crc32c(payload) != checksum) {
        fail("checksum mismatch");
        break;
      }
      if (!DecodeJournalPayload(payload, &change, &problem)) {
        fail(problem);
        break;
      }
      apply(change);
      ++replay.entries;
      pos += kJournalFrameBytes + length;
      replay.valid_bytes += kJournalFrameBytes + length;
    }
  }
  if (FAILED(replay.hr)) return replay;
  file.reset();
  if (replay.damaged && copy_damaged)
    replay.damaged_copy = CopyDamagedFileAside(path);
  return replay;
}

HRESULT ChangeJournal::Open(const std::u16string& path,
                            std::uint64_t valid_bytes) {
  Close();
  std::unique_ptr<platform::AppendFile> file;
  HRESULT hr = platform::AppendFile::Open(path, &file);
  if (FAILED(hr)) return hr;
  if (valid_bytes < kJournalHeaderBytes) valid_bytes = 0;
  if (file->Size() != valid_bytes) hr = file->Truncate(valid_bytes);
  if (SUCCEEDED(hr) && valid_bytes == 0) {
    hr = file->Append(std::string_view(kJournalMagic, kJournalHeaderBytes));
  }
  if (SUCCEEDED(hr)) hr = file->Sync();
  if (FAILED(hr)) return hr;
  file_ = std::move(file);
  pending_ = 0;
  stopping_ = false;
  dirty_ = false;
  sync_status_ = S_OK;
  syncer_ = std::thread(&ChangeJournal::SyncLoop, this);
  return S_OK;
}

HRESULT ChangeJournal::Append(const PageChange& change) {
  if (!file_) return E_UNEXPECTED;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (FAILED(sync_status_)) return sync_status_;
  }
  std::string record;
  EncodeJournalRecord(change, &record);
  if (record.size() - kJournalFrameBytes > kJournalMaxPayload) {
    return E_INVALIDARG;
  }
  const HRESULT hr = file_->Append(record);
  if (FAILED(hr)) return hr;
  ++pending_;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    dirty_ = true;
  }
  wake_.notify_one();
  return S_OK;
}

HRESULT ChangeJournal::Sync() {
  if (!file_) return S_OK;
  std::lock_guard<std::mutex> lock(sync_mutex_);
  return file_->Sync();
}

HRESULT ChangeJournal::Clear() {
  if (!file_) return E_UNEXPECTED;
  std::lock_guard<std::mutex> lock(sync_mutex_);
  HRESULT hr = file_->Truncate(kJournalHeaderBytes);
  if (SUCCEEDED(hr)) hr = file_->Sync();
  if (SUCCEEDED(hr)) pending_ = 0;
  return hr;
}

void ChangeJournal::Close() {
  if (!file_) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_one();
  if (syncer_.joinable()) syncer_.join();
  Sync();
  file_.reset();
}

void ChangeJournal::SyncLoop() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return dirty_ || stopping_; });
    if (stopping_) return;
    // Let the records of the next few calls join this flush.
    wake_.wait_for(lock, kSyncDelay, [this] { return stopping_; });
    if (stopping_) return;
    dirty_ = false;
    lock.unlock();
    HRESULT hr;
    {
      std::lock_guard<std::mutex> sync_lock(sync_mutex_);
      hr = file_->Sync();
    }
    lock.lock();
    if (FAILED(hr)) sync_status_ = hr;
  }
}

}  // namespace qoinfo
