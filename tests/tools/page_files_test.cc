#include "tools/import/page_files.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <ctime>
#include <limits>
#include <filesystem>
#include <fstream>

#include "tests/support/temp_dir.h"
#include "tools/import/fetch_queue.h"
#include "tools/import/history_time.h"
#include "tools/import/web_url.h"

namespace {

namespace fs = std::filesystem;
using qoinfo::tools::FileUrl;
using qoinfo::tools::FindHtmlFiles;
using qoinfo::tools::PageFile;

std::string Utf8(const fs::path& path) {
  const std::u8string u8 = path.u8string();
  return std::string(u8.begin(), u8.end());
}

void WriteFile(const fs::path& path, std::string_view bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

// Paths of `files` relative to `root`, with '/' separators.
std::vector<std::string> RelativePaths(const std::vector<PageFile>& files,
                                       const fs::path& root) {
  std::vector<std::string> relative;
  for (const PageFile& file : files) {
    const fs::path path(std::u8string(file.path.begin(), file.path.end()));
    EXPECT_TRUE(path.is_absolute()) << file.path;
    relative.push_back(Utf8(path.lexically_relative(root).generic_u8string()));
  }
  return relative;
}

class PageFilesTest : public ::testing::Test {
 protected:
  PageFilesTest() : root_(fs::absolute(dir_.path()).lexically_normal()) {}
  qoinfo::testing::TempDir dir_;
  fs::path root_;
  std::vector<PageFile> files_;
  std::vector<std::string> warnings_;
  std::string error_;
};

TEST_F(PageFilesTest, ListsHtmlFilesSortedOnce) {
  for (const char* name :
       {"b.html", "A.HTM", "c.XHTML", "notes.txt", "page.html.bak", "htm",
        "sub/deeper/z.htm", "sub/y.html", "with space.html"}) {
    WriteFile(root_ / name, "<p>x</p>");
  }
  fs::create_directories(root_ / "empty.html");  // a folder, not a page
  ASSERT_TRUE(FindHtmlFiles({Utf8(root_), Utf8(root_ / "b.html")}, &files_,
                            &warnings_, &error_))
      << error_;
  EXPECT_EQ(RelativePaths(files_, root_),
            (std::vector<std::string>{"A.HTM", "b.html", "c.XHTML",
                                      "sub/deeper/z.htm", "sub/y.html",
                                      "with space.html"}));
  EXPECT_TRUE(warnings_.empty());
  EXPECT_EQ(files_[1].size_bytes, 8u);
}

TEST_F(PageFilesTest, FileRootIsTakenWhateverItsName) {
  WriteFile(root_ / "saved.txt", "<p>x</p>");
  ASSERT_TRUE(
      FindHtmlFiles({Utf8(root_ / "saved.txt")}, &files_, &warnings_, &error_));
  EXPECT_EQ(RelativePaths(files_, root_),
            std::vector<std::string>{"saved.txt"});
}

TEST_F(PageFilesTest, MissingRootIsAnErrorNamingIt) {
  const std::string missing = Utf8(root_ / "gone");
  EXPECT_FALSE(
      FindHtmlFiles({Utf8(root_), missing}, &files_, &warnings_, &error_));
  EXPECT_NE(error_.find(missing), std::string::npos) << error_;
}

TEST_F(PageFilesTest, ModificationTimeIsUnixSecondsUtc) {
  WriteFile(root_ / "old.html", "");
  WriteFile(root_ / "new.html", "");
  const std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
  fs::last_write_time(
      root_ / "old.html",
      std::chrono::file_clock::from_sys(
          std::chrono::sys_seconds(std::chrono::seconds(1000000000))));
  ASSERT_TRUE(FindHtmlFiles({Utf8(root_)}, &files_, &warnings_, &error_));
  ASSERT_EQ(files_.size(), 2u);
  EXPECT_NEAR(files_[0].modified_unix_seconds, now, 120);  // new.html
  EXPECT_EQ(files_[1].modified_unix_seconds, 1000000000);  // old.html
}

TEST_F(PageFilesTest, FolderLinkLoopIsNotFollowed) {
  WriteFile(root_ / "sub/a.html", "");
  std::error_code ec;
  fs::create_directory_symlink(root_, root_ / "sub/loop", ec);
  if (ec) GTEST_SKIP() << "no folder links here: " << ec.message();
  ASSERT_TRUE(FindHtmlFiles({Utf8(root_)}, &files_, &warnings_, &error_));
  EXPECT_EQ(RelativePaths(files_, root_),
            std::vector<std::string>{"sub/a.html"});
}

TEST_F(PageFilesTest, UnreadableFolderIsAWarning) {
  WriteFile(root_ / "open/a.html", "");
  WriteFile(root_ / "locked/b.html", "");
  fs::permissions(root_ / "locked", fs::perms::none);
  std::error_code ec;
  fs::directory_iterator probe(root_ / "locked", ec);
  if (!ec) {
    fs::permissions(root_ / "locked", fs::perms::owner_all);
    GTEST_SKIP() << "permissions do not stop this user";
  }
  EXPECT_TRUE(FindHtmlFiles({Utf8(root_)}, &files_, &warnings_, &error_));
  fs::permissions(root_ / "locked", fs::perms::owner_all);
  EXPECT_EQ(RelativePaths(files_, root_),
            std::vector<std::string>{"open/a.html"});
  ASSERT_EQ(warnings_.size(), 1u);
  EXPECT_NE(warnings_[0].find("locked"), std::string::npos) << warnings_[0];
}

struct UrlCase {
  std::string_view path;
  std::string_view url;
};

const UrlCase kUrlCases[] = {
    {"/home/me/page.html", "file:///home/me/page.html"},
    {"/a/b c/100%#?.html", "file:///a/b%20c/100%25%23%3F.html"},
    {"/k/a+b=(1)~_-!$&',;:@.htm", "file:///k/a+b=(1)~_-!$&',;:@.htm"},
    {"/d/\xC3\xA9\xE6\x9D\xB1.html", "file:///d/%C3%A9%E6%9D%B1.html"},
    {"/t/\x01\x7F\"<>[]{}|^`",
     "file:///t/%01%7F%22%3C%3E%5B%5D%7B%7D%7C%5E%60"},
    {"/posix\\name", "file:///posix%5Cname"},
    {"C:\\Users\\me\\a b.html", "file:///C:/Users/me/a%20b.html"},
    {"d:/x.htm", "file:///d:/x.htm"},
    {"\\\\host\\share\\x.htm", "file://host/share/x.htm"},
};

TEST(FileUrl, Table) {
  for (const UrlCase& c : kUrlCases) {
    EXPECT_EQ(FileUrl(c.path), c.url) << c.path;
  }
}

// A browser history's times at the edges of both bases: rounded toward
// minus infinity, never overflowing.
struct HistoryTimeCase {
  bool chromium;
  std::int64_t microseconds;
  std::int64_t seconds;
};

constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();

const HistoryTimeCase kHistoryTimeCases[] = {
    {true, 0, -11644473600},
    {true, 11644473600000000, 0},
    {true, 11644473599999999, -1},
    {true, 11644473600999999, 0},
    {true, 13300000000000000, 1655526400},
    {true, -1, -11644473601},
    {true, kMax, 9223372036854 - 11644473600},
    {true, kMin, -9223372036855 - 11644473600},
    {false, 0, 0},
    {false, 999999, 0},
    {false, -1, -1},
    {false, -1000000, -1},
    {false, -1000001, -2},
    {false, 1700000000123456, 1700000000},
    {false, kMax, 9223372036854},
    {false, kMin, -9223372036855},
};

TEST(HistoryTime, Table) {
  for (const HistoryTimeCase& c : kHistoryTimeCases) {
    EXPECT_EQ(c.chromium ? qoinfo::tools::ChromiumTimeToVisitTime(c.microseconds)
                         : qoinfo::tools::FirefoxTimeToVisitTime(c.microseconds),
              c.seconds)
        << (c.chromium ? "chromium " : "firefox ") << c.microseconds;
  }
}

// The text a visit is filed with offline; "-" for a visit that is skipped
// (not http or https).
struct OfflineTextCase {
  std::u16string_view url;
  std::u16string_view title;
  std::u16string_view text;
  bool has_user_info = false;
};

const OfflineTextCase kOfflineTextCases[] = {
    {u"https://www.example.org/docs/my-page.html?q=caf%C3%A9+au+lait#top",
     u"Caf\u00E9 notes",
     u"Caf\u00E9 notes www.example.org www example org docs my page html q "
     u"caf\u00E9 au lait"},
    {u"HTTP://Host.Example:8080/a%20b/", u"", u"Host.Example Host Example a b"},
    {u"https://me:pw@h.example/x", u"T", u"T h.example h example x", true},
    {u"https://h.example/%E9t%E9+x?a+b=%zz", u"",
     u"h.example h example \u00E9t\u00E9 x a b zz"},
    {u"http://[::1]:80/p", u"", u"[::1] 1 p"},
    {u"https://h.example", u"\u65E5\u672C", u"\u65E5\u672C h.example h example"},
    {u"javascript:alert(1)", u"js", u"-"},
    {u"file:///etc/passwd", u"", u"-"},
    {u"ftp://h.example/x", u"", u"-"},
    {u"chrome://settings/", u"", u"-"},
    {u"https:///no-host", u"", u"-"},
    {u"about:blank", u"", u"-"},
};

TEST(OfflinePageText, Table) {
  for (const OfflineTextCase& c : kOfflineTextCases) {
    qoinfo::tools::WebUrl url;
    const bool web = qoinfo::tools::ParseWebUrl(c.url, &url);
    const std::u16string text =
        web ? qoinfo::tools::OfflinePageText(std::u16string(c.title), url)
            : u"-";
    EXPECT_EQ(text, c.text) << Utf8(fs::path(std::u16string(c.url)));
    EXPECT_EQ(url.has_user_info, c.has_user_info)
        << Utf8(fs::path(std::u16string(c.url)));
  }
}

// The order in which fetches start: each step is "+" (start what may start
// now, as often as it can) or "-h" (a fetch to host h ended); `started` is
// the hosts started at each "+", "." when none could.
struct FetchQueueCase {
  std::string_view hosts;  // of the requests, in order
  std::vector<std::string> steps;
  std::string_view started;
};

const FetchQueueCase kFetchQueueCases[] = {
    {"aaab", {"+", "-a", "+", "-a", "-a", "+"}, "aba a ."},
    {"ab", {"+", "+"}, "ab ."},
    {"aaaa", {"+", "+", "-a", "+", "-a", "-a", "+", "+"}, "aa . a a ."},
};

TEST(FetchQueue, Table) {
  for (const FetchQueueCase& c : kFetchQueueCases) {
    std::vector<qoinfo::tools::FetchRequest> requests;
    for (char host : c.hosts) {
      requests.push_back({static_cast<unsigned long>(requests.size() + 1),
                          "http://x/", std::string(1, host)});
    }
    qoinfo::tools::FetchQueue queue(requests);
    std::string started;
    for (const std::string& step : c.steps) {
      if (step[0] == '-') {
        queue.Ended(step.substr(1));
        continue;
      }
      if (!started.empty()) started += ' ';
      const std::size_t before = started.size();
      while (const qoinfo::tools::FetchRequest* request = queue.Next()) {
        started += request->host;
      }
      if (started.size() == before) started += '.';
    }
    EXPECT_EQ(started, c.started) << c.hosts;
    EXPECT_TRUE(queue.Exhausted()) << c.hosts;
  }
}

}  // namespace
