#include "tools/import/page_files.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "tests/support/temp_dir.h"

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

}  // namespace
