#include "tools/qoinfo/host_manifests.h"

#include "tools/common/json_writer.h"

namespace qoinfo::tools {

const std::vector<Browser>& AllBrowsers() {
  static const std::vector<Browser> browsers = {
      Browser::kChromium, Browser::kChrome, Browser::kFirefox};
  return browsers;
}

const char* BrowserName(Browser browser) {
  switch (browser) {
    case Browser::kChromium:
      return "chromium";
    case Browser::kChrome:
      return "chrome";
    case Browser::kFirefox:
      return "firefox";
  }
  return "";
}

bool FindBrowser(const std::string& name, Browser* browser) {
  for (const Browser each : AllBrowsers()) {
    if (name == BrowserName(each)) {
      *browser = each;
      return true;
    }
  }
  return false;
}

const char* ExtensionId(Browser browser) {
  return browser == Browser::kFirefox ? kFirefoxExtensionId
                                      : kChromiumExtensionId;
}

std::string HostManifestJson(Browser browser, const std::string& host_path) {
  // Chromium's family names the extensions by origin, Firefox by id.
  const std::string allowed =
      browser == Browser::kFirefox
          ? "  \"allowed_extensions\": [" + JsonQuote(kFirefoxExtensionId) +
                "]\n"
          : "  \"allowed_origins\": [" +
                JsonQuote(std::string("chrome-extension://") +
                          kChromiumExtensionId + "/") +
                "]\n";
  return "{\n  \"name\": " + JsonQuote(kNativeHostName) +
         ",\n  \"description\": \"QoInfoAgent: files the pages you visit and "
         "searches them\",\n  \"path\": " +
         JsonQuote(host_path) + ",\n  \"type\": \"stdio\",\n" + allowed + "}\n";
}

}  // namespace qoinfo::tools
