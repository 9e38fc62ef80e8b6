// Where the browsers of this platform look for a native-messaging host's
// manifest at user level, and where our programs are. Linux: a folder per
// browser in the user's configuration ($XDG_CONFIG_HOME/chromium/
// NativeMessagingHosts, .../google-chrome/NativeMessagingHosts, and
// ~/.mozilla/native-messaging-hosts). Windows: a per-user registry key per
// browser whose default value names the manifest file, which we keep under
// %LOCALAPPDATA%\QoInfoAgent\NativeMessagingHosts.
#pragma once

#include <string>

#include "platform/com_base.h"
#include "tools/qoinfo/host_manifests.h"

namespace qoinfo::tools {

struct ManifestPlace {
  std::u16string file;
  // Windows: the key under HKEY_CURRENT_USER; empty where the folder is
  // all a browser looks at.
  std::u16string registry_key;
};

// False with `why` when the user's folders are not known.
bool FindManifestPlace(Browser browser, ManifestPlace* place, std::string* why);

// Points the browser at the manifest (Windows: sets the registry key), or
// stops pointing at it (removes the key). S_OK where there is nothing to do.
HRESULT RegisterManifestPlace(const ManifestPlace& place);
HRESULT UnregisterManifestPlace(const ManifestPlace& place);

// The folder of this program, and the ending of a program's file name
// ("" or ".exe").
std::u16string ProgramFolder();
extern const char kProgramSuffix[];

// The native host's program, beside this one.
std::u16string NativeHostProgram();
// The folder of the extension as the build or an installation puts it
// beside the programs (../extension); empty when it is not there.
std::u16string ExtensionFolder();

}  // namespace qoinfo::tools
