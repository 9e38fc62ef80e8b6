// Xapian as a peer. Each page is a document whose terms are the agent's
// words with their counts as within-document frequencies. A weighting
// scheme of ours gives a page 30 x word length x count for each query word
// (the length enters as the query term's scale factor), so Xapian ranks by
// our score; ties go to the later page first, as ours do.
#include <xapian.h>

#include <filesystem>

#include "bench/engine.h"
#include "platform/utf8.h"

namespace qoinfo::bench {
namespace {

class ScoreWeight final : public Xapian::Weight {
 public:
  ScoreWeight() {
    need_stat(WDF);
    need_stat(WDF_MAX);
  }
  std::string name() const override { return "qoinfo.Score"; }
  ScoreWeight* clone() const override { return new ScoreWeight(); }
  void init(double factor) override { factor_ = factor; }
  double get_sumpart(Xapian::termcount wdf, Xapian::termcount,
                     Xapian::termcount) const override {
    return factor_ * wdf;
  }
  double get_maxpart() const override { return factor_ * get_wdf_upper_bound(); }
  double get_sumextra(Xapian::termcount, Xapian::termcount) const override {
    return 0;
  }
  double get_maxextra() const override { return 0; }

 private:
  double factor_ = 1;
};

class XapianEngine final : public Engine {
 public:
  explicit XapianEngine(const std::string& directory) : path_(directory + "/xapian") {
    std::filesystem::create_directories(directory);
    writable_ = Xapian::WritableDatabase(path_, Xapian::DB_CREATE_OR_OVERWRITE);
  }

  void Add(const Page& page) override {
    Xapian::Document document;
    for (const auto& [word, count] : ExtractPageWords(page.text)) {
      // Xapian keeps no empty term and caps terms at 245 bytes.
      if (word.empty() || word.size() > 240) continue;
      document.add_term(word, static_cast<Xapian::termcount>(count));
    }
    document.set_data(std::to_string(page.time) + '\t' + page.url + '\t' +
                      page.path + '\t' + page.title);
    writable_.add_document(document);
  }

  void FinishIndexing() override {
    writable_.commit();
    reader_ = writable_;
  }

  std::size_t Search(const std::string& query, std::size_t limit) override {
    std::vector<Xapian::Query> terms;
    for (const auto& [word, count] : ExtractPageWords(query)) {
      if (word.empty() || word.size() > 240) continue;
      terms.emplace_back(Xapian::Query::OP_SCALE_WEIGHT, Xapian::Query(word),
                         30.0 * static_cast<double>(Wide(word).size()));
    }
    if (terms.empty()) return 0;
    Xapian::Enquire enquire(reader_);
    enquire.set_query(Xapian::Query(Xapian::Query::OP_OR, terms.begin(), terms.end()));
    enquire.set_weighting_scheme(ScoreWeight());
    enquire.set_docid_order(Xapian::Enquire::DESCENDING);
    const Xapian::MSet hits =
        enquire.get_mset(0, limit > 0 ? static_cast<Xapian::doccount>(limit)
                                      : reader_.get_doccount());
    std::size_t taken = 0;
    for (auto it = hits.begin(); it != hits.end(); ++it) {
      (void)it.get_document().get_data();
      ++taken;
    }
    return taken;
  }

  std::uint64_t Save() override {
    writable_.commit();
    writable_.close();
    reader_ = Xapian::Database();
    return DiskUsage(path_);
  }
  void Load() override { reader_ = Xapian::Database(path_); }

 private:
  std::string path_;
  Xapian::WritableDatabase writable_;
  Xapian::Database reader_;
};

}  // namespace

std::unique_ptr<Engine> MakeXapianEngine(const std::string& directory) {
  return std::make_unique<XapianEngine>(directory);
}

}  // namespace qoinfo::bench
