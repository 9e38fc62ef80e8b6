// What differs between the browsers the extension runs in, Chromium (and
// Chrome, Edge) and Firefox, kept here so that the other files are written
// once for both:
// - the API object: Firefox's `browser.*` returns promises everywhere;
//   Chromium has `chrome.*`, which returns promises too in Manifest V3;
// - why a native-messaging port closed: Chromium says it in
//   runtime.lastError, Firefox in the port's `error`;
// - the address bar's suggestions: Chromium reads a small XML markup in
//   their descriptions (<url>, <match>, entities), Firefox shows text as
//   it is written;
// - file: addresses (pages imported from saved files): Chromium opens them
//   in a tab for an extension, Firefox refuses.
// The content script (capture.js) is a classic script and cannot import
// this module: it picks the API object the same way on its own.

export const api = globalThis.browser ?? globalThis.chrome;

// Firefox's extension pages live at moz-extension://, Chromium's at
// chrome-extension://.
export const isFirefox = api.runtime.getURL("").startsWith("moz-extension:");

// Why `port` was closed, or null when the host simply ended.
export function disconnectReason(port) {
  return port.error?.message ?? globalThis.chrome?.runtime?.lastError?.message ?? null;
}

// Whether `error` (a failed connection's message) says that the browser
// knows no native-messaging host of that name, that is, that
// `qoinfo install-browser` was not run. Chromium: "Specified native
// messaging host not found."; Firefox: "No such native application NAME".
export function isMissingHost(error) {
  return /native messaging host not found|no such native application/i.test(error);
}

// Text as XML character data: the five markup characters as references,
// and the characters XML cannot hold at all (most C0 controls, U+FFFE,
// U+FFFF, unpaired surrogates) as U+FFFD, so that one page's text cannot
// spoil the description.
function escapeMarkup(text) {
  return text
    .replace(/[\u0000-\u0008\u000B\u000C\u000E-\u001F\uFFFE\uFFFF]|[\uD800-\uDBFF](?![\uDC00-\uDFFF])|(?<![\uD800-\uDBFF])[\uDC00-\uDFFF]/g, "\uFFFD")
    .replace(/[&<>"']/g, (c) => `&#${c.charCodeAt(0)};`);
}

// A snippet's passage for a suggestion: "…" where the page goes on; in
// Chromium escaped, its marked words in <match>. Marks count UTF-16 units.
function passageMarkup(snippet, escape, match) {
  const text = snippet.text;
  let out = snippet.cut_before ? "… " : "";
  let done = 0;
  for (const [begin, length] of snippet.marks) {
    if (begin < done || begin + length > text.length) continue;
    out += escape(text.slice(done, begin)) + match(escape(text.slice(begin, begin + length)));
    done = begin + length;
  }
  return out + escape(text.slice(done)) + (snippet.cut_after ? " …" : "");
}

// The description of an address-bar suggestion for a page: its title, the
// match's percent and its address (marked as one where the browser can),
// then the passage that matched when there is one (its words marked where
// the browser can).
export function suggestionDescription(title, percent, url, snippet) {
  const plain = (text) => text;
  if (isFirefox) {
    const passage = snippet?.text ? " — " + passageMarkup(snippet, plain, plain) : "";
    return `${title} (${percent}%) ${url}${passage}`;
  }
  const passage = snippet?.text
    ? " <dim>—</dim> " + passageMarkup(snippet, escapeMarkup, (word) => `<match>${word}</match>`)
    : "";
  return `${escapeMarkup(title)} (${percent}%) <url>${escapeMarkup(url)}</url>${passage}`;
}

// Whether the extension may open `url` in a tab: web pages in both
// browsers, saved files (file:) only in Chromium.
export function canOpenInTab(url) {
  if (/^https?:\/\//i.test(url)) return true;
  return url.startsWith("file:") && !isFirefox;
}
