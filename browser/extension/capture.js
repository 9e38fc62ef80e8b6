// Captures the page this tab shows: its address, title and visible text
// (document.body.innerText), once it has loaded, and hands them to the
// service worker, which decides whether the visit is filed (pause switch,
// excluded sites) and sends it to the native host. A page that keeps
// changing after that (a single-page application) is looked at again at
// most once a minute and sent again only when its address or text changed.
"use strict";

(() => {
  // Text and titles are cut at these lengths (in UTF-16 units, the way
  // JavaScript counts), so that a visit's message stays well under the
  // native host's 4 MiB cap even when every character is escaped.
  const TEXT_LIMIT = 500000;
  const TITLE_LIMIT = 1000;
  // Longer addresses are not captured at all: cutting one would name
  // another page.
  const URL_LIMIT = 8192;
  const LOOK_AGAIN_MS = 60 * 1000;
  // A burst of changes settles before the page is read again.
  const SETTLE_MS = 2000;

  // Firefox's browser.* or Chromium's chrome.* (platform.js says more; a
  // content script cannot import it).
  const api = globalThis.browser ?? globalThis.chrome;

  let lastLook = 0;  // Date.now() of the last reading of the page
  let lastUrl = "";
  let lastText = "";
  let timer = 0;

  // `text` cut at `limit` units, never between the two halves of a
  // surrogate pair; unpaired surrogates become U+FFFD so that the message
  // is valid UTF-8.
  function cut(text, limit) {
    let end = Math.min(text.length, limit);
    const last = text.charCodeAt(end - 1);
    if (end < text.length && last >= 0xd800 && last <= 0xdbff) end -= 1;
    return text.slice(0, end).toWellFormed();
  }

  function look(time) {
    timer = 0;
    lastLook = Date.now();
    const url = location.href;
    if (!document.body || url.length > URL_LIMIT) return;
    const text = cut(document.body.innerText, TEXT_LIMIT);
    if (url === lastUrl && text === lastText) return;
    lastUrl = url;
    lastText = text;
    api.runtime
      .sendMessage({
        type: "visit",
        time,
        url,
        title: cut(document.title, TITLE_LIMIT),
        text,
      })
      .catch(() => {});  // the extension was reloaded or removed
  }

  function lookAgainLater() {
    if (timer) return;
    const wait = Math.max(SETTLE_MS, lastLook + LOOK_AGAIN_MS - Date.now());
    timer = setTimeout(() => look(Math.floor(Date.now() / 1000)), wait);
  }

  function start() {
    // The visit's time is when the browser began to load the page.
    look(Math.floor(performance.timeOrigin / 1000));
    new MutationObserver(lookAgainLater).observe(document.documentElement, {
      childList: true,
      subtree: true,
      characterData: true,
    });
    addEventListener("popstate", lookAgainLater);
    addEventListener("hashchange", lookAgainLater);
  }

  if (document.readyState === "complete") {
    start();
  } else {
    addEventListener("load", start, { once: true });
  }
})();
