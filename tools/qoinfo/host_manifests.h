// What a browser needs to start the native-messaging host for our
// extension: the host's name, the extension's identity in each family of
// browsers, and the host manifest (a JSON file naming the host's program
// and the extensions allowed to start it). Where each browser looks for the
// manifest is per platform: manifest_places.h.
#pragma once

#include <string>
#include <vector>

namespace qoinfo::tools {

// The name the extension connects to (chrome.runtime.connectNative).
inline constexpr char kNativeHostName[] = "qoinfo.native_host";
// The extension's id in Chromium and Chrome, fixed by the public key in
// browser/extension/manifest.json.
inline constexpr char kChromiumExtensionId[] =
    "mgaboknejhdbbfonnlmkjhednoaiiagn";
// Its id in Firefox: browser_specific_settings.gecko.id in the same file.
inline constexpr char kFirefoxExtensionId[] = "qoinfo@qoinfoagent";

enum class Browser { kChromium, kChrome, kFirefox };

const std::vector<Browser>& AllBrowsers();
// "chromium", "chrome", "firefox".
const char* BrowserName(Browser browser);
bool FindBrowser(const std::string& name, Browser* browser);
// The extension's id in that browser.
const char* ExtensionId(Browser browser);

// The manifest's text for `browser`, naming the host program `host_path`
// (UTF-8, absolute).
std::string HostManifestJson(Browser browser, const std::string& host_path);

}  // namespace qoinfo::tools
