// The extension's service worker: files the visits the content script
// captures through the native host (qoinfo-native-host), unless capture is
// paused, the site is excluded or the tab is private; answers the toolbar
// page's searches and forgets; and gives the address bar's keyword "qo"
// its suggestions from the agent, each described by its passage.
import { api, disconnectReason, suggestionDescription } from "./platform.js";
import { isExcluded, isWebAddress, readSettings } from "./settings.js";

const HOST = "qoinfo.native_host";
const REPLY_TIMEOUT_MS = 30 * 1000;

// One port to the native host, opened on the first request and again after
// it closed; replies are matched to requests by their id.
let port = null;
let nextId = 1;
const waiting = new Map();  // id -> { resolve, timer }

function hostPort() {
  if (port) return port;
  port = api.runtime.connectNative(HOST);
  port.onMessage.addListener((reply) => {
    const request = waiting.get(reply.id);
    if (!request) {
      console.warn("QoInfoAgent host:", reply.error ?? reply);
      return;
    }
    waiting.delete(reply.id);
    clearTimeout(request.timer);
    request.resolve(reply);
  });
  port.onDisconnect.addListener((closed) => {
    const why = disconnectReason(closed) ?? "the native host ended";
    port = null;
    for (const [id, request] of waiting) {
      clearTimeout(request.timer);
      request.resolve({ id, ok: false, error: why });
    }
    waiting.clear();
  });
  return port;
}

// The host's reply to `message`: { ok: true, ... } or { ok: false, error }.
function askHost(message) {
  return new Promise((resolve) => {
    const id = nextId++;
    const timer = setTimeout(() => {
      waiting.delete(id);
      resolve({ id, ok: false, error: "the native host did not answer" });
    }, REPLY_TIMEOUT_MS);
    waiting.set(id, { resolve, timer });
    try {
      hostPort().postMessage({ ...message, id });
    } catch (error) {
      waiting.delete(id);
      clearTimeout(timer);
      resolve({ id, ok: false, error: String(error.message ?? error) });
    }
  });
}

async function fileVisit(visit, tab) {
  if (tab.incognito || !isWebAddress(visit.url)) return;
  const settings = await readSettings();
  if (settings.paused || isExcluded(settings.excluded, visit.url)) return;
  const reply = await askHost({
    type: "visit",
    time: visit.time,
    url: visit.url,
    title: visit.title,
    text: visit.text,
  });
  if (!reply.ok) console.warn("QoInfoAgent could not file", visit.url, reply.error);
}

function search(query, limit) {
  return askHost({ type: "search", query, limit });
}

// The agent's Find: quoted phrases, and with `prefix` a last word that may
// be the beginning of a word; each hit with its snippet when its text is
// kept.
function find(query, limit, prefix) {
  return askHost({ type: "find", query, limit, prefix: Boolean(prefix) });
}

api.runtime.onMessage.addListener((message, sender, respond) => {
  if (sender.id !== api.runtime.id) return false;
  // Visits come from the content script of a tab; searches and forgets
  // from the extension's own pages.
  if (sender.tab && message.type === "visit") {
    fileVisit(message, sender.tab);
    return false;
  }
  if (sender.tab && !sender.url?.startsWith(location.origin)) return false;
  if (message.type === "find") {
    find(message.query, message.limit, message.prefix).then(respond);
    return true;
  }
  if (message.type === "forget") {
    askHost({ type: "forget", time: message.time, url: message.url }).then(respond);
    return true;
  }
  return false;
});

// The address bar: "qo" then a query lists the best hits as it is typed
// (the last word may be the beginning of a word), each described by the
// passage that matched; choosing one opens it, and Enter on the query
// itself opens the search page with it.
const OMNIBOX_HITS = 6;

async function omniboxSuggestions(text) {
  if (!text.trim()) return [];
  const reply = await find(text, OMNIBOX_HITS, true);
  if (!reply.ok) return [];
  // One suggestion per address: visits of one page differ only in time.
  const seen = new Set();
  const hits = reply.hits.filter((hit) => !seen.has(hit.url) && seen.add(hit.url));
  return hits.map((hit) => ({
    content: hit.url,
    description: suggestionDescription(hit.title || hit.url, hit.percent, hit.url, hit.snippet),
  }));
}

api.omnibox.setDefaultSuggestion({
  description: "Search the pages you visited with QoInfoAgent",
});
// Each key asks the agent; only the answer to the latest text is shown, so
// a slow answer to an earlier one cannot replace it.
let latestInput = 0;
api.omnibox.onInputChanged.addListener(async (text, suggest) => {
  const mine = ++latestInput;
  const suggestions = await omniboxSuggestions(text);
  if (mine === latestInput) suggest(suggestions);
});
api.omnibox.onInputEntered.addListener((text, disposition) => {
  const url = isWebAddress(text)
    ? text
    : api.runtime.getURL("popup.html?q=" + encodeURIComponent(text));
  if (disposition === "currentTab") api.tabs.update({ url });
  else api.tabs.create({ url, active: disposition === "newForegroundTab" });
});

// For the DevTools console and the end-to-end test: what the address bar and
// the toolbar page ask.
globalThis.qoinfo = { search, find, omniboxSuggestions };
