#include "tools/import/page_files.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <system_error>
#include <utility>

namespace qoinfo::tools {
namespace fs = std::filesystem;
namespace {

// Deeper folders are reported, not entered: a guard against cycles that the
// symlink check cannot see (Windows junctions).
constexpr int kMaxFolderDepth = 256;

fs::path PathFromUtf8(std::string_view utf8) {
  return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8FromPath(const fs::path& path) {
  const std::u8string u8 = path.u8string();
  return std::string(u8.begin(), u8.end());
}

std::int64_t UnixSeconds(fs::file_time_type time) {
  return std::chrono::floor<std::chrono::seconds>(
             std::chrono::file_clock::to_sys(time))
      .time_since_epoch()
      .count();
}

std::string Describe(const fs::path& path, const std::error_code& ec) {
  return Utf8FromPath(path) + ": " + ec.message();
}

// Adds the regular file `path` to `files`, or a warning when its details
// cannot be read.
void AddFile(const fs::path& path, std::vector<PageFile>* files,
             std::vector<std::string>* warnings) {
  std::error_code ec;
  const fs::file_time_type modified = fs::last_write_time(path, ec);
  if (ec) {
    warnings->push_back(Describe(path, ec));
    return;
  }
  const std::uintmax_t size = fs::file_size(path, ec);
  if (ec) {
    warnings->push_back(Describe(path, ec));
    return;
  }
  files->push_back({Utf8FromPath(path), UnixSeconds(modified), size});
}

// Files a folder entry: a subfolder to walk, an HTML file to list, or
// nothing.
void AddEntry(const fs::directory_entry& entry, int depth,
              std::vector<std::pair<fs::path, int>>* folders,
              std::vector<PageFile>* files,
              std::vector<std::string>* warnings) {
  std::error_code status_ec;
  const fs::file_status own = entry.symlink_status(status_ec);
  if (status_ec) {
    warnings->push_back(Describe(entry.path(), status_ec));
    return;
  }
  if (fs::is_directory(own)) {
    folders->emplace_back(entry.path(), depth + 1);
    return;
  }
  if (!IsHtmlFileName(Utf8FromPath(entry.path().filename()))) return;
  // A link to a file counts as that file; a link to a folder is skipped.
  const fs::file_status target =
      fs::is_symlink(own) ? entry.status(status_ec) : own;
  if (!status_ec && fs::is_regular_file(target)) {
    AddFile(entry.path(), files, warnings);
  }
}

void WalkFolder(const fs::path& root, std::vector<PageFile>* files,
                std::vector<std::string>* warnings) {
  std::vector<std::pair<fs::path, int>> folders{{root, 0}};
  while (!folders.empty()) {
    auto [folder, depth] = std::move(folders.back());
    folders.pop_back();
    if (depth > kMaxFolderDepth) {
      warnings->push_back(Utf8FromPath(folder) + ": more than " +
                          std::to_string(kMaxFolderDepth) +
                          " folders deep, not entered");
      continue;
    }
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
      try {
        AddEntry(*it, depth, &folders, files, warnings);
      } catch (const std::system_error&) {
        // Windows: a name with a lone surrogate has no UTF-8 form.
        warnings->push_back(Utf8FromPath(folder) +
                            ": skipped a name that is not valid Unicode");
      }
    }
    if (ec) warnings->push_back(Describe(folder, ec));
  }
}

bool AddRoot(const std::string& root, std::vector<PageFile>* files,
             std::vector<std::string>* warnings, std::string* error) {
  std::error_code ec;
  fs::path path = fs::absolute(PathFromUtf8(root), ec);
  if (ec) {
    *error = root + ": " + ec.message();
    return false;
  }
  path = path.lexically_normal();
  const fs::file_status status = fs::status(path, ec);
  if (ec || !fs::exists(status)) {
    *error = root + ": " +
             (ec ? ec.message() : std::string("no such file or folder"));
    return false;
  }
  if (fs::is_directory(status)) {
    WalkFolder(path, files, warnings);
  } else if (fs::is_regular_file(status)) {
    AddFile(path, files, warnings);
  } else {
    *error = root + ": neither a file nor a folder";
    return false;
  }
  return true;
}

}  // namespace

bool IsHtmlFileName(std::string_view name) {
  std::string lower(
      name.substr(name.size() - std::min<std::size_t>(6, name.size())));
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  const std::string_view tail(lower);
  return tail.ends_with(".html") || tail.ends_with(".htm") ||
         tail.ends_with(".xhtml");
}

bool FindHtmlFiles(const std::vector<std::string>& roots,
                   std::vector<PageFile>* files,
                   std::vector<std::string>* warnings, std::string* error) {
  files->clear();
  warnings->clear();
  try {
    for (const std::string& root : roots) {
      if (!AddRoot(root, files, warnings, error)) return false;
    }
  } catch (const std::exception& e) {
    // A name the path library cannot convert (Windows: a lone surrogate).
    *error = std::string("cannot walk the folders: ") + e.what();
    return false;
  }
  std::sort(
      files->begin(), files->end(),
      [](const PageFile& a, const PageFile& b) { return a.path < b.path; });
  files->erase(std::unique(files->begin(), files->end(),
                           [](const PageFile& a, const PageFile& b) {
                             return a.path == b.path;
                           }),
               files->end());
  return true;
}

std::string FileUrl(std::string_view absolute_path) {
  auto is_letter = [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
  };
  std::string path(absolute_path);
  std::string url = "file://";
  const bool drive = path.size() >= 3 && is_letter(path[0]) && path[1] == ':' &&
                     (path[2] == '\\' || path[2] == '/');
  const bool unc = path.starts_with("\\\\");
  if (drive || unc) {
    std::replace(path.begin(), path.end(), '\\', '/');
    if (drive) url += '/';
    if (unc) path.erase(0, 2);
  }
  static constexpr char kHex[] = "0123456789ABCDEF";
  static constexpr std::string_view kKept = "/-._~!$&'()*+,;=:@";
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    if (is_letter(c) || (c >= '0' && c <= '9') ||
        kKept.find(c) != std::string_view::npos) {
      url += c;
    } else {
      url += '%';
      url += kHex[byte >> 4];
      url += kHex[byte & 0xF];
    }
  }
  return url;
}

}  // namespace qoinfo::tools
