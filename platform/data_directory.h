// Where the user's QoInfoAgent data lives, and making sure the folder exists.
// Paths are UTF-16, without a trailing separator.
#pragma once

#include <string>

#include "platform/com_base.h"

namespace platform {

// The environment variable that names the data directory, overriding the
// platform's default.
inline constexpr char kDataDirectoryVariable[] = "QOINFO_DATA_DIR";

// The data directory: QOINFO_DATA_DIR when it is set and not empty, else
// $XDG_DATA_HOME/QoInfoAgent or ~/.local/share/QoInfoAgent (POSIX),
// %LOCALAPPDATA%\QoInfoAgent (Windows). Trailing separators are dropped
// (a root folder keeps its one). Nothing is created here. Fails with E_FAIL
// when the platform names no home folder at all.
HRESULT UserDataDirectory(std::u16string* directory);

// The platform's default data directory, used when QOINFO_DATA_DIR is unset
// (one implementation per platform).
HRESULT DefaultDataDirectory(std::u16string* directory);

// Creates `path` and its missing parents; S_OK when it exists as a folder
// afterwards. A file in the way, a missing drive or no permission give the
// system's error as an HRESULT.
HRESULT CreateDirectoryTree(const std::u16string& path);

// Empty when only its owner may enter or read the folder `path`; otherwise
// what lets others in and how to end it, as "its mode is 0755 (chmod 700
// makes it private)". POSIX only: on Windows the folder's access list
// decides, inherited from the user's profile, and the answer is empty.
std::u16string FolderOpenToOthers(const std::u16string& path);

// `path` without trailing separators, except a lone root separator.
std::u16string WithoutTrailingSeparators(std::u16string path);

}  // namespace platform
