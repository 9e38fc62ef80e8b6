#include "index/index_image.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <utility>

#include "index/crc32c.h"
#include "platform/file_system.h"
#include "platform/plain_file.h"

namespace qoinfo {
namespace {

// The header's fields and their offsets (docs/format.md, "The index
// image"). Every field is in the writer's byte order.
enum HeaderField : std::size_t {
  kMagicAt = 0,              // 8 bytes
  kVersionAt = 8,            // u32
  kByteOrderAt = 12,         // u32 kImageByteOrderMark
  kHeaderSizeAt = 16,        // u32 kImageHeaderBytes
  kFlagsAt = 20,             // u32, none defined: 0
  kImageSizeAt = 24,         // u64, the whole file
  kRecordsFileAt = 32,       // 3 x 8: size, modified, file number
  kWordsFileAt = 56,         // 3 x 8
  kLastIdAt = 80,            // i64
  kRecordCountAt = 88,       // u64
  kWordCountAt = 96,         // u64
  kSectionsAt = 104,         // 5 x (u64 offset, u64 size)
  kBodyCrcAt = 184,          // u32, CRC-32C of every byte after the header
  kHeaderCrcAt = 188,        // u32, CRC-32C of bytes 0..187
};
static_assert(kHeaderCrcAt + 4 == kImageHeaderBytes);

// The sections in the order they follow the header.
enum Section : std::size_t {
  kRecordTexts,
  kRecordTable,
  kVisitTable,
  kWordData,
  kWordTable,
  kSectionCount
};
static_assert(kSectionsAt + kSectionCount * 16 == kBodyCrcAt);

// RecordEntry, 40 bytes: id, time, the file offset of the URL's first
// unit, then the lengths in units of the URL, the path and the title,
// which follow the URL in that order; 4 bytes of zeros.
constexpr std::size_t kRecordEntryBytes = 40;
constexpr std::size_t kRecordIdAt = 0, kRecordTimeAt = 8, kRecordTextAt = 16,
                      kRecordUrlLengthAt = 24, kRecordPathLengthAt = 28,
                      kRecordTitleLengthAt = 32;
// VisitEntry, 16 bytes: the visit's hash (VisitHash), the record's id.
constexpr std::size_t kVisitEntryBytes = 16;
// WordEntry, 40 bytes: the file offsets of the word's first unit and of its
// postings, the word's length in units, the postings' size in bytes and
// count, 4 bytes of zeros, the highest identifier of the postings.
constexpr std::size_t kWordEntryBytes = 40;
constexpr std::size_t kWordTextAt = 0, kWordPostingsAt = 8,
                      kWordLengthAt = 16, kWordPostingsSizeAt = 20,
                      kWordPostingsCountAt = 24, kWordLastIdAt = 32;

template <typename T>
T Load(const std::uint8_t* at) {
  T value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

template <typename T>
void Store(std::uint8_t* at, T value) {
  std::memcpy(at, &value, sizeof value);
}

std::uint32_t SwapBytes(std::uint32_t v) {
  return (v >> 24) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u) | (v << 24);
}

void StoreIdentity(std::uint8_t* at, const platform::FileIdentity& identity) {
  Store<std::uint64_t>(at, identity.size);
  Store<std::int64_t>(at + 8, identity.modified);
  Store<std::uint64_t>(at + 16, identity.file_id);
}

platform::FileIdentity LoadIdentity(const std::uint8_t* at) {
  platform::FileIdentity identity;
  identity.size = Load<std::uint64_t>(at);
  identity.modified = Load<std::int64_t>(at + 8);
  identity.file_id = Load<std::uint64_t>(at + 16);
  return identity;
}

constexpr HRESULT kFileNotFound = static_cast<HRESULT>(0x80070002u);
constexpr HRESULT kPathNotFound = static_cast<HRESULT>(0x80070003u);

// A section as the header records it; `end` is past its last byte.
struct Extent {
  std::uint64_t offset = 0;
  std::uint64_t size = 0;
  std::uint64_t end() const { return offset + size; }
};

// Whether the sections follow each other after the header, each on an
// 8-byte boundary, within `image_size`, and the tables hold exactly their
// entries.
bool SectionsHold(const Extent (&sections)[kSectionCount],
                  std::uint64_t image_size, std::uint64_t record_count,
                  std::uint64_t word_count) {
  std::uint64_t free_from = kImageHeaderBytes;
  for (const Extent& section : sections) {
    if (section.offset < free_from || section.offset % 8 != 0 ||
        section.offset > image_size ||
        section.size > image_size - section.offset) {
      return false;
    }
    free_from = section.end();
  }
  const auto holds = [](const Extent& table, std::uint64_t count,
                        std::uint64_t entry) {
    return count <= table.size / entry && table.size == count * entry;
  };
  return holds(sections[kRecordTable], record_count, kRecordEntryBytes) &&
         holds(sections[kVisitTable], record_count, kVisitEntryBytes) &&
         holds(sections[kWordTable], word_count, kWordEntryBytes);
}

}  // namespace

std::u16string DescribeImageProblem(ImageProblem problem) {
  switch (problem) {
    case ImageProblem::kNone:
      return u"can be used";
    case ImageProblem::kMissing:
      return u"is missing";
    case ImageProblem::kUnreadable:
      return u"could not be opened";
    case ImageProblem::kNoRoom:
      return u"does not fit in the address space";
    case ImageProblem::kTruncated:
      return u"is cut short";
    case ImageProblem::kNotAnImage:
      return u"is not an index image";
    case ImageProblem::kOtherVersion:
      return u"is of another format version";
    case ImageProblem::kOtherByteOrder:
      return u"was written in the other byte order";
    case ImageProblem::kDamaged:
      return u"is damaged";
    case ImageProblem::kOtherPair:
      return u"was made of other index files";
  }
  return u"cannot be used";
}

std::uint64_t VisitHash(std::int64_t time, std::u16string_view url) {
  std::uint64_t hash = 0xCBF29CE484222325u;
  constexpr std::uint64_t kPrime = 0x100000001B3u;
  const auto bits = static_cast<std::uint64_t>(time);
  for (int shift = 0; shift < 64; shift += 8) {
    hash = (hash ^ ((bits >> shift) & 0xFF)) * kPrime;
  }
  for (const char16_t unit : url) {
    hash = (hash ^ (unit & 0xFFu)) * kPrime;
    hash = (hash ^ (unit >> 8)) * kPrime;
  }
  return hash;
}

// ---------------------------------------------------------------------------
// Reading

std::shared_ptr<const IndexImage> IndexImage::Open(
    const std::u16string& path, const platform::FileIdentity& records_file,
    const platform::FileIdentity& words_file, ImageProblem* problem) {
  const auto refuse = [problem](ImageProblem why) {
    *problem = why;
    return nullptr;
  };
  std::unique_ptr<platform::MappedFile> file;
  const HRESULT hr = platform::MappedFile::Open(path, &file);
  if (hr == kFileNotFound || hr == kPathNotFound) {
    return refuse(ImageProblem::kMissing);
  }
  if (hr == E_OUTOFMEMORY) return refuse(ImageProblem::kNoRoom);
  if (FAILED(hr)) return refuse(ImageProblem::kUnreadable);

  const std::uint8_t* const base = file->data();
  const std::uint64_t size = file->size();
  if (size < kImageHeaderBytes) return refuse(ImageProblem::kTruncated);
  if (std::memcmp(base + kMagicAt, kImageMagic, sizeof kImageMagic) != 0) {
    return refuse(ImageProblem::kNotAnImage);
  }
  const auto mark = Load<std::uint32_t>(base + kByteOrderAt);
  if (mark != kImageByteOrderMark) {
    return refuse(mark == SwapBytes(kImageByteOrderMark)
                      ? ImageProblem::kOtherByteOrder
                      : ImageProblem::kDamaged);
  }
  if (Load<std::uint32_t>(base + kVersionAt) != kImageFormatVersion) {
    return refuse(ImageProblem::kOtherVersion);
  }
  if (Load<std::uint32_t>(base + kHeaderCrcAt) !=
      Crc32cExtend(0, base, kHeaderCrcAt)) {
    return refuse(ImageProblem::kDamaged);
  }
  // The header holds from here on: what it says is what the writer wrote.
  if (Load<std::uint32_t>(base + kHeaderSizeAt) != kImageHeaderBytes ||
      Load<std::uint32_t>(base + kFlagsAt) != 0) {
    return refuse(ImageProblem::kOtherVersion);
  }
  const auto image_size = Load<std::uint64_t>(base + kImageSizeAt);
  if (image_size > size) return refuse(ImageProblem::kTruncated);
  if (image_size < size) return refuse(ImageProblem::kDamaged);
  if (!(LoadIdentity(base + kRecordsFileAt) == records_file) ||
      !(LoadIdentity(base + kWordsFileAt) == words_file)) {
    return refuse(ImageProblem::kOtherPair);
  }
  Extent sections[kSectionCount];
  for (std::size_t i = 0; i < kSectionCount; ++i) {
    sections[i].offset = Load<std::uint64_t>(base + kSectionsAt + 16 * i);
    sections[i].size = Load<std::uint64_t>(base + kSectionsAt + 16 * i + 8);
  }
  const auto record_count = Load<std::uint64_t>(base + kRecordCountAt);
  const auto word_count = Load<std::uint64_t>(base + kWordCountAt);
  if (!SectionsHold(sections, image_size, record_count, word_count) ||
      Load<std::uint32_t>(base + kBodyCrcAt) !=
          Crc32cExtend(0, base + kImageHeaderBytes,
                       size - kImageHeaderBytes)) {
    return refuse(ImageProblem::kDamaged);
  }

  std::shared_ptr<IndexImage> image(new IndexImage);
  image->m_base = base;
  image->m_recordsFile = records_file;
  image->m_wordsFile = words_file;
  image->m_lastId = Load<std::int64_t>(base + kLastIdAt);
  image->m_recordCount = static_cast<std::size_t>(record_count);
  image->m_wordCount = static_cast<std::size_t>(word_count);
  image->m_records = base + sections[kRecordTable].offset;
  image->m_visits = base + sections[kVisitTable].offset;
  image->m_words = base + sections[kWordTable].offset;
  image->m_file = std::move(file);
  *problem = ImageProblem::kNone;
  return image;
}

std::size_t IndexImage::byte_size() const { return m_file->size(); }

std::int64_t IndexImage::RecordIdAt(std::size_t at) const {
  return Load<std::int64_t>(m_records + at * kRecordEntryBytes + kRecordIdAt);
}

// Each accessor checks the offsets it follows against the section they
// must stay in (a few compares): an image whose checksums hold but whose
// tables were made by hand yields empty strings, never a read outside it.
RecordView IndexImage::RecordAt(std::size_t at) const {
  const std::uint8_t* entry = m_records + at * kRecordEntryBytes;
  RecordView view;
  view.time = Load<std::int64_t>(entry + kRecordTimeAt);
  const auto text = Load<std::uint64_t>(entry + kRecordTextAt);
  const auto url = Load<std::uint32_t>(entry + kRecordUrlLengthAt);
  const auto path = Load<std::uint32_t>(entry + kRecordPathLengthAt);
  const auto title = Load<std::uint32_t>(entry + kRecordTitleLengthAt);
  const auto texts_begin = Load<std::uint64_t>(m_base + kSectionsAt);
  const auto texts_end = texts_begin + Load<std::uint64_t>(m_base + kSectionsAt + 8);
  const std::uint64_t units = std::uint64_t{url} + path + title;
  if (text % 2 != 0 || text < texts_begin || text > texts_end ||
      units > (texts_end - text) / 2) {
    return view;
  }
  const auto* units_at = reinterpret_cast<const char16_t*>(m_base + text);
  view.url = {units_at, url};
  view.path = {units_at + url, path};
  view.title = {units_at + url + path, title};
  return view;
}

std::size_t IndexImage::FindRecord(std::int64_t id) const {
  std::size_t low = 0;
  std::size_t high = m_recordCount;
  while (low < high) {
    const std::size_t middle = low + (high - low) / 2;
    if (RecordIdAt(middle) < id) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  return low < m_recordCount && RecordIdAt(low) == id ? low : m_recordCount;
}

std::vector<std::int64_t> IndexImage::IdsOfVisit(std::int64_t time,
                                                 std::u16string_view url) const {
  const std::uint64_t hash = VisitHash(time, url);
  const auto hash_at = [this](std::size_t at) {
    return Load<std::uint64_t>(m_visits + at * kVisitEntryBytes);
  };
  std::size_t low = 0;
  std::size_t high = m_recordCount;
  while (low < high) {
    const std::size_t middle = low + (high - low) / 2;
    if (hash_at(middle) < hash) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  std::vector<std::int64_t> ids;
  for (; low < m_recordCount && hash_at(low) == hash; ++low) {
    const auto id = Load<std::int64_t>(m_visits + low * kVisitEntryBytes + 8);
    const std::size_t record = FindRecord(id);
    if (record == m_recordCount) continue;
    const RecordView view = RecordAt(record);
    if (view.time == time && view.url == url) ids.push_back(id);
  }
  return ids;
}

std::u16string_view IndexImage::WordAt(std::size_t at) const {
  const std::uint8_t* entry = m_words + at * kWordEntryBytes;
  const auto text = Load<std::uint64_t>(entry + kWordTextAt);
  const auto length = Load<std::uint32_t>(entry + kWordLengthAt);
  const auto data_begin = Load<std::uint64_t>(m_base + kSectionsAt + 16 * kWordData);
  const auto data_end =
      data_begin + Load<std::uint64_t>(m_base + kSectionsAt + 16 * kWordData + 8);
  if (text % 2 != 0 || text < data_begin || text > data_end ||
      length > (data_end - text) / 2) {
    return {};
  }
  return {reinterpret_cast<const char16_t*>(m_base + text), length};
}

PostingsView IndexImage::PostingsAt(std::size_t at) const {
  const std::uint8_t* entry = m_words + at * kWordEntryBytes;
  const auto postings = Load<std::uint64_t>(entry + kWordPostingsAt);
  const auto used = Load<std::uint32_t>(entry + kWordPostingsSizeAt);
  const auto count = Load<std::uint32_t>(entry + kWordPostingsCountAt);
  const auto data_begin = Load<std::uint64_t>(m_base + kSectionsAt + 16 * kWordData);
  const auto data_end =
      data_begin + Load<std::uint64_t>(m_base + kSectionsAt + 16 * kWordData + 8);
  // A list ends with a byte that ends a number and is followed by a zero
  // byte: however its bytes were made, decoding stops within one byte past
  // its end.
  if (used == 0 || count == 0 || postings < data_begin ||
      postings > data_end || used >= data_end - postings ||
      (m_base[postings + used - 1] & 0x80) != 0 ||
      m_base[postings + used] != 0) {
    return {};
  }
  return PostingsView(m_base + postings, used, count,
                      Load<std::int64_t>(entry + kWordLastIdAt));
}

std::size_t IndexImage::LowerBound(std::u16string_view word) const {
  std::size_t low = 0;
  std::size_t high = m_wordCount;
  while (low < high) {
    const std::size_t middle = low + (high - low) / 2;
    if (WordAt(middle) < word) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  return low;
}

std::size_t IndexImage::FindWord(std::u16string_view word) const {
  const std::size_t at = LowerBound(word);
  return at < m_wordCount && WordAt(at) == word ? at : m_wordCount;
}

// ---------------------------------------------------------------------------
// Writing

namespace {

constexpr std::size_t kWriteBuffer = 1 << 20;

struct RecordEntry {
  std::int64_t id;
  std::int64_t time;
  std::uint64_t text;
  std::uint32_t url, path, title;
};

struct VisitEntry {
  std::uint64_t hash;
  std::int64_t id;
  bool operator<(const VisitEntry& other) const {
    return hash != other.hash ? hash < other.hash : id < other.id;
  }
};

struct WordEntry {
  std::uint64_t text;
  std::uint64_t postings;
  std::uint32_t length, used, count;
  std::int64_t last;
};

std::uint32_t UnitCount(std::size_t units) {
  if (units > UINT32_MAX) throw std::bad_alloc();
  return static_cast<std::uint32_t>(units);
}

}  // namespace

struct IndexImageWriter::State {
  std::u16string path;
  std::u16string saving;
  std::unique_ptr<platform::AppendFile> file;
  HRESULT failure = S_OK;
  enum class Phase { kRecords, kWords, kDone } phase = Phase::kRecords;
  std::string buffer;       // bytes not yet handed to the file
  std::uint64_t position = 0;  // the file offset after `buffer`
  std::uint32_t body_crc = 0;  // of the bytes after the header handed over
  Extent sections[kSectionCount];
  std::vector<RecordEntry> records;
  std::vector<VisitEntry> visits;
  std::vector<WordEntry> words;
  std::u16string last_word;

  void Fail(HRESULT hr) {
    if (SUCCEEDED(failure)) failure = hr;
  }

  void Flush() {
    if (buffer.empty()) return;
    body_crc = Crc32cExtend(body_crc, buffer.data(), buffer.size());
    if (SUCCEEDED(failure)) Fail(file->Append(buffer));
    buffer.clear();
  }

  void Put(const void* bytes, std::size_t size) {
    if (FAILED(failure) || size == 0) return;
    if (buffer.size() + size > kWriteBuffer) Flush();
    if (size >= kWriteBuffer) {
      // A large piece (a common word's postings) goes to the file directly.
      body_crc = Crc32cExtend(body_crc, bytes, size);
      Fail(file->Append(
          std::string_view(static_cast<const char*>(bytes), size)));
    } else {
      buffer.append(static_cast<const char*>(bytes), size);
    }
    position += size;
  }

  void PadTo(std::uint64_t alignment) {
    static constexpr char kZeros[8] = {};
    Put(kZeros, (alignment - position % alignment) % alignment);
  }

  void PutUnits(std::u16string_view text) {
    Put(text.data(), text.size() * sizeof(char16_t));
  }

  void StartSection(Section section) {
    PadTo(8);
    sections[section].offset = position;
  }
  void EndSection(Section section) {
    sections[section].size = position - sections[section].offset;
  }

  // Closes the record texts and writes the record and visit tables.
  void EndRecords() {
    EndSection(kRecordTexts);
    StartSection(kRecordTable);
    for (const RecordEntry& record : records) {
      std::uint8_t entry[kRecordEntryBytes] = {};
      Store(entry + kRecordIdAt, record.id);
      Store(entry + kRecordTimeAt, record.time);
      Store(entry + kRecordTextAt, record.text);
      Store(entry + kRecordUrlLengthAt, record.url);
      Store(entry + kRecordPathLengthAt, record.path);
      Store(entry + kRecordTitleLengthAt, record.title);
      Put(entry, sizeof entry);
    }
    EndSection(kRecordTable);
    std::vector<RecordEntry>().swap(records);
    std::sort(visits.begin(), visits.end());
    StartSection(kVisitTable);
    for (const VisitEntry& visit : visits) {
      std::uint8_t entry[kVisitEntryBytes];
      Store(entry, visit.hash);
      Store(entry + 8, visit.id);
      Put(entry, sizeof entry);
    }
    EndSection(kVisitTable);
    std::vector<VisitEntry>().swap(visits);
    StartSection(kWordData);
    phase = Phase::kWords;
  }
};

IndexImageWriter::IndexImageWriter(std::u16string path)
    : m_state(std::make_unique<State>()) {
  State& s = *m_state;
  s.path = std::move(path);
  s.saving = s.path + u".saving";
  s.buffer.reserve(kWriteBuffer);
  platform::RemoveFileIfPresent(s.saving);
  s.Fail(platform::AppendFile::Open(s.saving, &s.file));
  if (SUCCEEDED(s.failure)) s.Fail(s.file->Truncate(0));
  // The header is filled in last; the record texts follow it.
  static constexpr char kBlankHeader[kImageHeaderBytes] = {};
  if (SUCCEEDED(s.failure)) {
    s.Fail(s.file->Append(std::string_view(kBlankHeader, sizeof kBlankHeader)));
  }
  s.position = kImageHeaderBytes;
  s.sections[kRecordTexts].offset = kImageHeaderBytes;
}

IndexImageWriter::~IndexImageWriter() {
  if (m_state->phase != State::Phase::kDone) {
    m_state->file.reset();
    platform::RemoveFileIfPresent(m_state->saving);
  }
}

void IndexImageWriter::AddRecord(std::int64_t id, const RecordView& record) {
  State& s = *m_state;
  if (FAILED(s.failure)) return;
  if (s.phase != State::Phase::kRecords ||
      (!s.records.empty() && id <= s.records.back().id)) {
    s.Fail(E_INVALIDARG);  // records come first, in ascending order
    return;
  }
  RecordEntry entry{id, record.time, s.position, UnitCount(record.url.size()),
                    UnitCount(record.path.size()),
                    UnitCount(record.title.size())};
  s.records.push_back(entry);
  s.visits.push_back({VisitHash(record.time, record.url), id});
  s.PutUnits(record.url);
  s.PutUnits(record.path);
  s.PutUnits(record.title);
}

void IndexImageWriter::AddWord(std::u16string_view word,
                               const PostingsView& postings) {
  State& s = *m_state;
  if (FAILED(s.failure)) return;
  if (s.phase == State::Phase::kRecords) s.EndRecords();
  if (s.phase != State::Phase::kWords || postings.empty() ||
      postings.byte_size() == 0 ||
      (!s.words.empty() && word <= std::u16string_view(s.last_word))) {
    s.Fail(E_INVALIDARG);  // words in ascending order, each with postings
    return;
  }
  WordEntry entry{s.position, 0, UnitCount(word.size()), postings.byte_size(),
                  static_cast<std::uint32_t>(postings.size()),
                  postings.last_id()};
  s.PutUnits(word);
  entry.postings = s.position;
  s.Put(postings.bytes(), postings.byte_size());
  // The zero byte that bounds any decoding of the list (see PostingsAt).
  static constexpr char kZero = 0;
  s.Put(&kZero, 1);
  s.PadTo(2);
  s.words.push_back(entry);
  s.last_word.assign(word);
}

HRESULT IndexImageWriter::Finish(std::int64_t last_id,
                                 const platform::FileIdentity& records_file,
                                 const platform::FileIdentity& words_file) {
  State& s = *m_state;
  if (s.phase == State::Phase::kDone) return E_UNEXPECTED;
  if (s.phase == State::Phase::kRecords && SUCCEEDED(s.failure)) {
    s.EndRecords();
  }
  const std::uint64_t record_count = s.sections[kVisitTable].size / kVisitEntryBytes;
  s.EndSection(kWordData);
  s.StartSection(kWordTable);
  for (const WordEntry& word : s.words) {
    std::uint8_t entry[kWordEntryBytes] = {};
    Store(entry + kWordTextAt, word.text);
    Store(entry + kWordPostingsAt, word.postings);
    Store(entry + kWordLengthAt, word.length);
    Store(entry + kWordPostingsSizeAt, word.used);
    Store(entry + kWordPostingsCountAt, word.count);
    Store(entry + kWordLastIdAt, word.last);
    s.Put(entry, sizeof entry);
  }
  s.EndSection(kWordTable);
  s.Flush();

  std::uint8_t header[kImageHeaderBytes] = {};
  std::memcpy(header + kMagicAt, kImageMagic, sizeof kImageMagic);
  Store(header + kVersionAt, kImageFormatVersion);
  Store(header + kByteOrderAt, kImageByteOrderMark);
  Store(header + kHeaderSizeAt, static_cast<std::uint32_t>(kImageHeaderBytes));
  Store(header + kImageSizeAt, s.position);
  StoreIdentity(header + kRecordsFileAt, records_file);
  StoreIdentity(header + kWordsFileAt, words_file);
  Store(header + kLastIdAt, last_id);
  Store(header + kRecordCountAt, record_count);
  Store(header + kWordCountAt, static_cast<std::uint64_t>(s.words.size()));
  for (std::size_t i = 0; i < kSectionCount; ++i) {
    Store(header + kSectionsAt + 16 * i, s.sections[i].offset);
    Store(header + kSectionsAt + 16 * i + 8, s.sections[i].size);
  }
  Store(header + kBodyCrcAt, s.body_crc);
  Store(header + kHeaderCrcAt, Crc32cExtend(0, header, kHeaderCrcAt));

  if (SUCCEEDED(s.failure)) {
    s.Fail(s.file->WriteAt(
        0, std::string_view(reinterpret_cast<const char*>(header),
                            sizeof header)));
  }
  if (SUCCEEDED(s.failure)) s.Fail(s.file->Sync());
  s.file.reset();
  if (SUCCEEDED(s.failure)) {
    s.Fail(platform::ReplaceMappedFile(s.saving, s.path));
  }
  if (FAILED(s.failure)) platform::RemoveFileIfPresent(s.saving);
  s.phase = State::Phase::kDone;
  return s.failure;
}

}  // namespace qoinfo
