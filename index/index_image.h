// IndexImage: the index in the form searches read, kept in a file beside the
// index files ("index.image") and mapped instead of loaded. It holds what
// the pair "1.hcpa"/"2.hcpb" holds when it was written, and names that pair
// by the files' identities (platform::FileIdentity): an image of any other
// pair, of another format version or byte order, cut short or with a byte
// changed is refused, and the agent loads the pair as before. The pair
// stays the files of record; the image is a cache that every save writes
// again (docs/format.md, "The index image").
//
// Layout (native byte order, recorded in the header; every section starts
// on an 8-byte boundary; offsets count from the file's first byte):
//   header          kImageHeaderBytes, its own CRC-32C in its last 4 bytes
//   record texts    each record's URL, path and title, UTF-16, one after the
//                   other
//   record table    RecordEntry[record_count], ascending identifier
//   visit table     VisitEntry[record_count], ascending (hash, identifier)
//   word data       per word: its UTF-16 units, then its postings in
//                   PostingList's encoding, a zero byte, padding to 2
//   word table      WordEntry[word_count], ascending word (code units)
// The header's body CRC-32C covers every byte after the header.
//
// An image is immutable once written; an IndexImage is shared (std::
// shared_ptr) by the containers and by search snapshots that outlive a save.
// Thread-safe: every member is const.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "index/postings_view.h"
#include "index/time_url_container.h"
#include "platform/com_base.h"
#include "platform/mapped_file.h"

namespace qoinfo {

inline constexpr char kImageMagic[8] = {'Q', 'o', 'I', 'n', 'f', 'o', 'I', 'm'};
inline constexpr std::uint32_t kImageFormatVersion = 1;
inline constexpr std::uint32_t kImageByteOrderMark = 0x01020304u;
inline constexpr std::size_t kImageHeaderBytes = 192;

// Why an image was not used.
enum class ImageProblem {
  kNone,
  kMissing,         // no image file
  kUnreadable,      // it could not be opened or mapped (e.g. a symbolic link)
  kNoRoom,          // the address space has no room for it (32-bit)
  kTruncated,       // shorter than its header says
  kNotAnImage,      // no image header
  kOtherVersion,    // another format version
  kOtherByteOrder,  // written on a machine of the other byte order
  kDamaged,         // a checksum or a section does not hold
  kOtherPair,       // made of index files other than those present
};

// A short English phrase for the log: "is damaged", "was made of other
// index files", ...
std::u16string DescribeImageProblem(ImageProblem problem);

// The hash the visit table is ordered by: FNV-1a, 64 bits, over the time's
// 8 bytes (little-endian) and the URL's UTF-16 units (each low byte first).
std::uint64_t VisitHash(std::int64_t time, std::u16string_view url);

class IndexImage {
 public:
  // Maps and checks the image at `path`, made of the index files whose
  // identities are given. Null, with the reason in *problem, when it cannot
  // be used.
  static std::shared_ptr<const IndexImage> Open(
      const std::u16string& path, const platform::FileIdentity& records_file,
      const platform::FileIdentity& words_file, ImageProblem* problem);

  std::int64_t last_id() const { return m_lastId; }

  // Page records, by position in ascending identifier order.
  std::size_t record_count() const { return m_recordCount; }
  std::int64_t RecordIdAt(std::size_t at) const;
  RecordView RecordAt(std::size_t at) const;
  // The position of the record of `id`, or record_count().
  std::size_t FindRecord(std::int64_t id) const;
  // The identifiers whose record has this time and exactly this URL,
  // ascending.
  std::vector<std::int64_t> IdsOfVisit(std::int64_t time,
                                       std::u16string_view url) const;

  // Words, by position in ascending word order.
  std::size_t word_count() const { return m_wordCount; }
  std::u16string_view WordAt(std::size_t at) const;
  PostingsView PostingsAt(std::size_t at) const;
  // The position of the first word not below `word`, or word_count().
  std::size_t LowerBound(std::u16string_view word) const;
  // The position of `word`, or word_count().
  std::size_t FindWord(std::u16string_view word) const;

  // The identities of the index files the image was made of.
  const platform::FileIdentity& records_file() const { return m_recordsFile; }
  const platform::FileIdentity& words_file() const { return m_wordsFile; }
  std::size_t byte_size() const;

 private:
  IndexImage() = default;
  std::unique_ptr<platform::MappedFile> m_file;
  const std::uint8_t* m_base = nullptr;
  platform::FileIdentity m_recordsFile;
  platform::FileIdentity m_wordsFile;
  std::int64_t m_lastId = 0;
  std::size_t m_recordCount = 0;
  std::size_t m_wordCount = 0;
  const std::uint8_t* m_records = nullptr;  // RecordEntry[]
  const std::uint8_t* m_visits = nullptr;   // VisitEntry[]
  const std::uint8_t* m_words = nullptr;    // WordEntry[]
};

// IndexImageWriter: writes a new image in one pass, records then words,
// each in ascending order, to "<path>.saving", and puts it in place of any
// image at `path` once it is complete and on the disk. Memory: the tables
// (40 bytes a record, 16 a visit, 40 a word) until Finish; texts and
// postings go straight to the file.
class IndexImageWriter {
 public:
  explicit IndexImageWriter(std::u16string path);
  ~IndexImageWriter();  // an unfinished image's file is removed
  IndexImageWriter(const IndexImageWriter&) = delete;
  IndexImageWriter& operator=(const IndexImageWriter&) = delete;

  // The first failure stops the writer; every later call then does nothing
  // and Finish returns that failure. Allocation failures throw.
  void AddRecord(std::int64_t id, const RecordView& record);
  // A word with at least one posting.
  void AddWord(std::u16string_view word, const PostingsView& postings);
  // Writes the tables and the header, flushes, and replaces the image.
  HRESULT Finish(std::int64_t last_id, const platform::FileIdentity& records_file,
                 const platform::FileIdentity& words_file);

 private:
  struct State;
  std::unique_ptr<State> m_state;
};

}  // namespace qoinfo
