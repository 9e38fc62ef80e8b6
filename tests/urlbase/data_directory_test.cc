// Where the history lives: the data directory from QOINFO_DATA_DIR or the
// platform's default, created when missing, handed out by GetDataDirectory.
#include "platform/data_directory.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <ostream>
#include <vector>

#include "platform/environment.h"
#include "platform/file_system.h"
#include "tests/urlbase/url_base_test_support.h"

namespace qoinfo {
namespace {

using testing::ComPtr;
using testing::TempDir;
using testing::Units;

// Sets or clears an environment variable for one test; restores it after.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, std::optional<std::u16string> value)
      : name_(name) {
    std::u16string old;
    if (platform::GetEnvironment(name, &old)) old_ = old;
    if (value) {
      EXPECT_TRUE(platform::SetEnvironment(name, *value));
    } else {
      platform::UnsetEnvironment(name);
    }
  }
  ~ScopedVariable() {
    if (old_) {
      platform::SetEnvironment(name_, *old_);
    } else {
      platform::UnsetEnvironment(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::u16string> old_;
};

bool IsDirectory(const std::u16string& path) {
  return std::filesystem::is_directory(std::filesystem::path(path));
}

std::u16string DataDirectoryOf(IBromURLBase* base) {
  BSTR directory = nullptr;
  EXPECT_EQ(base->GetDataDirectory(&directory), S_OK);
  EXPECT_NE(directory, nullptr);
  platform::UniqueBstr owned(directory);
  return owned ? Units(owned.get()) : u"(null)";
}

const std::u16string kSep(1, platform::kPathSeparator);

TEST(DataDirectory, ComesFromQoinfoDataDirAndIsCreated) {
  TempDir dir;
  const std::u16string wanted =
      dir.u16() + kSep + u"deeper" + kSep + u"d\u00e9j\u00e0 \u4e2d";
  ScopedVariable variable("QOINFO_DATA_DIR", wanted);
  ComPtr<IBromURLBase> base;
  ASSERT_EQ(
      CBromURLBase::CreateInstance(nullptr, IID_IBromURLBase, base.out_void()),
      S_OK);
  EXPECT_TRUE(IsDirectory(wanted));
  EXPECT_TRUE(platform::FileExists(wanted + kSep + u"history.sqlite3"));
  EXPECT_EQ(DataDirectoryOf(base.get()), wanted);
  // Asked twice, the same answer.
  EXPECT_EQ(DataDirectoryOf(base.get()), wanted);
}

TEST(DataDirectory, TrailingSeparatorsAreDropped) {
  TempDir dir;
  ScopedVariable variable("QOINFO_DATA_DIR", dir.u16() + kSep + kSep);
  ComPtr<IBromURLBase> base;
  ASSERT_EQ(
      CBromURLBase::CreateInstance(nullptr, IID_IBromURLBase, base.out_void()),
      S_OK);
  EXPECT_EQ(DataDirectoryOf(base.get()), dir.u16());
}

TEST(DataDirectory, ADirectoryThatCannotBeCreatedFailsTheCreation) {
  TempDir dir;
  {
    std::ofstream file(dir / "a-file");
    file << "in the way";
  }
  // Below a file: the path cannot exist (ERROR_PATH_NOT_FOUND).
  const std::u16string below = dir.u16() + kSep + u"a-file" + kSep + u"data";
  ScopedVariable variable("QOINFO_DATA_DIR", below);
  void* object = &object;
  EXPECT_EQ(CBromURLBase::CreateInstance(nullptr, IID_IBromURLBase, &object),
            static_cast<HRESULT>(0x80070003u));
  EXPECT_EQ(object, nullptr);
  // The file itself as the directory (ERROR_DIRECTORY on both platforms).
  ComPtr<IBromURLBase> base;
  EXPECT_EQ(testing::Open(dir.u16() + kSep + u"a-file", &base),
            static_cast<HRESULT>(0x8007010Bu));
}

TEST(DataDirectory, CreateDirectoryTreeAcceptsWhatExists) {
  TempDir dir;
  EXPECT_EQ(platform::CreateDirectoryTree(dir.u16()), S_OK);
  const std::u16string nested =
      dir.u16() + kSep + u"a" + kSep + u"b" + kSep + u"c";
  EXPECT_EQ(platform::CreateDirectoryTree(nested), S_OK);
  EXPECT_TRUE(IsDirectory(nested));
  EXPECT_EQ(platform::CreateDirectoryTree(nested), S_OK);
  EXPECT_EQ(platform::CreateDirectoryTree(u""), E_INVALIDARG);
}

// The defaults, by platform (told apart by the path separator). Each row
// sets the variables it names and clears the others.
struct DefaultRow {
  const char* name;
  char16_t separator;
  const char16_t* data_dir;
  const char16_t* xdg_data_home;
  const char16_t* home;
  const char16_t* local_app_data;
  const char16_t* expected;
};

void PrintTo(const DefaultRow& row, std::ostream* out) { *out << row.name; }

const DefaultRow kDefaults[] = {
    {"posix_override", u'/', u"/srv/q/", u"/x", u"/h", nullptr, u"/srv/q"},
    {"posix_xdg", u'/', nullptr, u"/x/data/", u"/h", nullptr,
     u"/x/data/QoInfoAgent"},
    {"posix_relative_xdg_is_ignored", u'/', nullptr, u"rel", u"/h", nullptr,
     u"/h/.local/share/QoInfoAgent"},
    {"posix_home", u'/', nullptr, nullptr, u"/home/\u00fc/", nullptr,
     u"/home/\u00fc/.local/share/QoInfoAgent"},
    {"posix_empty_override_is_unset", u'/', u"", nullptr, u"/h", nullptr,
     u"/h/.local/share/QoInfoAgent"},
    {"windows_override", u'\\', u"D:\\q\\", nullptr, nullptr, u"C:\\L",
     u"D:\\q"},
    {"windows_local_app_data", u'\\', nullptr, nullptr, nullptr,
     u"C:\\Users\\\u00fc\\AppData\\Local\\",
     u"C:\\Users\\\u00fc\\AppData\\Local\\QoInfoAgent"},
    {"windows_drive_root_override", u'\\', u"E:\\", nullptr, nullptr, u"C:\\L",
     u"E:\\"},
};

class Defaults : public ::testing::TestWithParam<DefaultRow> {};

std::optional<std::u16string> Value(const char16_t* text) {
  if (text == nullptr) return std::nullopt;
  return std::u16string(text);
}

// The rows of the platform the tests run on.
std::vector<DefaultRow> ThisPlatformsRows() {
  std::vector<DefaultRow> rows;
  for (const DefaultRow& row : kDefaults) {
    if (row.separator == platform::kPathSeparator) rows.push_back(row);
  }
  return rows;
}

TEST_P(Defaults, FollowThePlatformsRules) {
  const DefaultRow& row = GetParam();
  ScopedVariable data_dir("QOINFO_DATA_DIR", Value(row.data_dir));
  ScopedVariable xdg("XDG_DATA_HOME", Value(row.xdg_data_home));
  std::optional<ScopedVariable> home;
  if (row.separator == u'/') home.emplace("HOME", Value(row.home));
  ScopedVariable local("LOCALAPPDATA", Value(row.local_app_data));
  std::u16string directory;
  ASSERT_EQ(platform::UserDataDirectory(&directory), S_OK);
  EXPECT_EQ(directory, row.expected);
}

INSTANTIATE_TEST_SUITE_P(Rows, Defaults,
                         ::testing::ValuesIn(ThisPlatformsRows()),
                         [](const auto& info) { return info.param.name; });

TEST(DataDirectory, NullOutPointerIsEPointer) {
  EXPECT_EQ(platform::UserDataDirectory(nullptr), E_POINTER);
}

}  // namespace
}  // namespace qoinfo
