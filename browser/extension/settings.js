// The extension's settings, kept in storage.local: `paused` (no
// page is captured while it is true) and `excluded`, the sites never
// captured: host names, each also covering its subdomains.

import { api } from "./platform.js";

const DEFAULTS = { paused: false, excluded: [] };

export async function readSettings() {
  return api.storage.local.get(DEFAULTS);
}

export async function writeSettings(changes) {
  await api.storage.local.set(changes);
}

// The host names in `text`, one a line; a line may also be written as an
// address ("https://example.org/page") or with a leading "*.".
export function parseSiteList(text) {
  const sites = new Set();
  for (let line of text.split("\n")) {
    line = line.trim().toLowerCase();
    if (!line) continue;
    if (!line.includes("://")) line = "http://" + line.replace(/^\*\./, "");
    try {
      sites.add(new URL(line).hostname);
    } catch {
      // not a host name: left out
    }
  }
  return [...sites].sort();
}

export function isExcluded(excluded, url) {
  const host = new URL(url).hostname;
  return excluded.some((site) => host === site || host.endsWith("." + site));
}

// Only pages of the web are captured and opened.
export function isWebAddress(url) {
  return /^https?:\/\//i.test(url);
}
