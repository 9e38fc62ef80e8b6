#include <cstdio>
#include <filesystem>
#include <map>
#include <utility>

#include "agent/add_data.h"
#include "agent/find.h"
#include "agent/search.h"
#include "bench/engine.h"
#include "index/index_files.h"
#include "platform/mapped_file.h"
#include "platform/utf8.h"
#include "platform/wide_string.h"

namespace qoinfo::bench {
namespace {

// The texts kept for phrases, in memory as UTF-8 (the history keeps them
// compressed on disk: what reading one costs there comes on top).
class KeptTexts final : public PageTextSource {
 public:
  void Keep(const Page& page) { texts_[{page.time, Wide(page.url)}] = page.text; }
  bool TextOf(std::int64_t time, std::u16string_view url,
              std::u16string* text) override {
    const auto found = texts_.find({time, std::u16string(url)});
    if (found == texts_.end()) return false;
    *text = Wide(found->second);
    return true;
  }

 private:
  std::map<std::pair<std::int64_t, std::u16string>, std::string> texts_;
};

class QoInfoEngine final : public Engine {
 public:
  explicit QoInfoEngine(std::string directory) : directory_(std::move(directory)) {
    std::filesystem::create_directories(directory_);
  }

  void Add(const Page& page) override {
    const platform::UniqueBstr url = BstrOf(page.url), text = BstrOf(page.text),
                               path = BstrOf(page.path), title = BstrOf(page.title);
    const _URL_DATE_IA data{page.time, url.get(), text.get(), path.get(), title.get()};
    AddData(data, records_, words_);
  }

  std::size_t Search(const std::string& query, std::size_t limit) override {
    const platform::UniqueBstr what = BstrOf(query);
    ISearchDataEnumerator* hits = nullptr;
    if (FAILED(qoinfo::Search(what.get(), &hits, records_, words_))) return 0;
    return Drain(hits, limit);
  }

  // Takes up to `limit` hits (0: all) and releases the enumerator.
  static std::size_t Drain(ISearchDataEnumerator* hits, std::size_t limit) {
    std::size_t taken = 0;
    _URL_DATE_IA_S hit;
    while ((limit == 0 || taken < limit) && hits->Next(&hit) == S_OK) {
      SysFreeString(hit.Url);
      SysFreeString(hit.Path);
      SysFreeString(hit.Title);
      ++taken;
    }
    hits->Release();
    return taken;
  }

  std::size_t Find(const std::string& query, bool prefix,
                   std::size_t limit) override {
    ISearchDataEnumerator* hits = nullptr;
    if (FAILED(qoinfo::Find(Wide(query), FindOptions{prefix}, texts_, &hits,
                            records_, words_))) {
      return 0;
    }
    return Drain(hits, limit);
  }

  void KeepText(const Page& page) override { texts_.Keep(page); }

  std::uint64_t Save() override {
    SaveIndexFiles(Directory(), records_, words_);
    return DiskUsage(directory_ + "/1.hcpa") + DiskUsage(directory_ + "/2.hcpb");
  }

  std::uint64_t SaveImage() override {
    if (FAILED(SaveIndexImage(Directory(), records_, words_))) {
      std::fprintf(stderr, "qoinfo-bench: the image could not be written\n");
      return 0;
    }
    return DiskUsage(directory_ + "/index.image");
  }

  std::uint64_t Postings() const override { return words_.PostingCount(); }

  // Pages get identifiers 1, 2, ... in the order they were added.
  bool Forget(std::size_t index) override {
    const auto id = static_cast<std::int64_t>(index) + 1;
    words_.RemoveId(id);
    records_.RemoveRecord(id);
    return true;
  }

  bool LoadFiles() override {
    LoadIndexFiles(Directory(), records_, words_);
    loaded_image_ = false;
    return true;
  }

  void Load() override {
    ImageProblem problem = ImageProblem::kNone;
    std::shared_ptr<const IndexImage> image = OpenIndexImage(Directory(), &problem);
    if (image == nullptr) {
      std::fprintf(stderr, "qoinfo-bench: the image %s; loading the index files\n",
                   platform::Utf16ToUtf8(DescribeImageProblem(problem)).c_str());
      LoadFiles();
      return;
    }
    records_.AttachImage(image);
    words_.AttachImage(std::move(image));
    loaded_image_ = true;
  }

  bool LoadedImage() const override { return loaded_image_; }

  void Drop() override {
    records_ = CIDContainer();
    words_ = CWordToIdsContainer();
    platform::ReleaseFreedMemory();
  }

 private:
  std::u16string Directory() const { return Wide(directory_); }

  std::string directory_;
  CIDContainer records_;
  CWordToIdsContainer words_;
  KeptTexts texts_;
  bool loaded_image_ = false;
};

}  // namespace

std::unique_ptr<Engine> MakeQoInfoEngine(const std::string& directory) {
  return std::make_unique<QoInfoEngine>(directory);
}

}  // namespace qoinfo::bench
