// write_sample_index DIR: saves a fixed sample index (multilingual URLs and
// words, a removed page, a word left without pages) into DIR, with the same
// code the agent saves with. The end-to-end tests compare what the Linux
// and Windows builds write and read.
#include <iostream>

#include "index/index_files.h"
#include "platform/utf8.h"
#include "platform/utf8_main.h"

int Utf8Main(const std::vector<std::string>& args) {
  using namespace qoinfo;
  if (args.size() != 2) {
    std::cerr << "usage: write_sample_index DIR\n";
    return 2;
  }
  CIDContainer records;
  CWordToIdsContainer words;
  const std::int64_t a = records.AddRecord(
      CTimeURLContainer(1700000000, u"http://example.com/A", u"C:\\cache\\a.htm", u"Title A"));
  const std::int64_t b = records.AddRecord(CTimeURLContainer(
      -5, u"http://\u00e9t\u00e9.fr/\u6771\u4eac?q=\U0001F600", u"", u"\u0395\u03bb\u03bb\u03ac\u03b4\u03b1"));
  const std::int64_t gone = records.AddRecord(CTimeURLContainer(3, u"http://gone", u"", u""));
  const std::int64_t c = records.AddRecord(CTimeURLContainer(INT64_MAX, u"x", u"\"quoted\"\t", u"\\"));
  words.AddWords({{u"", 1}, {u"alpha", 3}, {u"\u00e9t\u00e9", 2}}, a);
  words.AddWords({{u"alpha", 1}, {u"\U0001F600", 1}, {u"\u6771\u4eac", 7}}, b);
  words.AddWords({{u"only-gone", 1}, {u"alpha", 2}}, gone);
  words.AddWords({{u"zeta", 2147483647}}, c);
  words.RemoveId(gone);
  records.RemoveRecord(gone);

  std::u16string dir;
  std::size_t offset = 0;
  if (!platform::Utf8ToUtf16(args[1], &dir, &offset)) return 2;
  const HRESULT hr = SaveIndexFiles(dir, records, words);
  if (FAILED(hr)) {
    std::cerr << "write_sample_index: save failed: " << std::hex << hr << "\n";
    return 1;
  }
  return 0;
}
