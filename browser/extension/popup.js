// The toolbar page: a search box over the agent's index. Typing searches
// (a moment after the last key, the last word as the beginning of a word),
// and each hit shows the passage of its page that matched, the query's
// words highlighted; Up and Down choose a hit, Enter opens it in a new tab,
// Delete forgets its visit. Opened as popup.html?q=QUERY (from the address bar) it starts
// with that query. It reaches the native host through the service worker.
import { api, canOpenInTab, isMissingHost } from "./platform.js";
import { readSettings, writeSettings } from "./settings.js";

const HITS = 20;
const query = document.getElementById("query");
const status = document.getElementById("status");
const list = document.getElementById("hits");
const pause = document.getElementById("pause");
let hits = [];
let chosen = -1;
let asked = 0;  // the number of the latest search, so late replies are dropped

async function search() {
  const text = query.value;
  const mine = ++asked;
  if (!text.trim()) {
    show([], "");
    return;
  }
  const reply = await api.runtime.sendMessage({ type: "find", query: text, prefix: true, limit: HITS });
  if (mine !== asked) return;
  if (!reply?.ok) {
    const why = reply?.error ?? "no answer";
    // The browser does not know the host until it is installed.
    const hint = isMissingHost(why) ? " (run: qoinfo install-browser)" : "";
    show([], `QoInfoAgent cannot search: ${why}${hint}`);
    return;
  }
  const count = reply.hits.length;
  show(reply.hits, count === 0 ? "No page holds these words."
    : `${count}${reply.more ? "+" : ""} page${count === 1 ? "" : "s"}`);
}

function show(found, message) {
  hits = found;
  status.textContent = message;
  list.replaceChildren(...found.map(row));
  choose(found.length ? 0 : -1);
}

function row(hit, index) {
  const item = document.createElement("li");
  item.setAttribute("role", "option");
  const title = document.createElement("span");
  title.className = "title";
  title.textContent = hit.title || hit.url;
  const url = document.createElement("span");
  url.className = "url";
  url.textContent = hit.url;
  const meta = document.createElement("span");
  meta.className = "meta";
  meta.textContent = `${hit.percent}% · ${new Date(hit.time * 1000).toLocaleString()} `;
  const forget = document.createElement("button");
  forget.className = "forget";
  forget.title = "Forget this visit";
  forget.textContent = "×";
  forget.addEventListener("click", (event) => {
    event.stopPropagation();
    forgetHit(index);
  });
  meta.append(forget);
  item.append(title, meta, url);
  if (hit.snippet?.text) item.append(passage(hit.snippet));
  item.addEventListener("click", () => open(index));
  return item;
}

// The passage as text nodes, its marked words in <mark>: the page's text
// never becomes markup. Marks count UTF-16 units, as JavaScript strings do.
function passage(snippet) {
  const block = document.createElement("span");
  block.className = "snippet";
  const text = snippet.text;
  let done = 0;
  if (snippet.cut_before) block.append("… ");
  for (const [begin, length] of snippet.marks) {
    if (begin < done || begin + length > text.length) continue;
    const mark = document.createElement("mark");
    mark.textContent = text.slice(begin, begin + length);
    block.append(text.slice(done, begin), mark);
    done = begin + length;
  }
  block.append(text.slice(done));
  if (snippet.cut_after) block.append(" …");
  return block;
}

function choose(index) {
  chosen = index;
  [...list.children].forEach((item, i) => item.setAttribute("aria-selected", String(i === index)));
  list.children[index]?.scrollIntoView({ block: "nearest" });
}

function open(index) {
  const hit = hits[index];
  if (!hit) return;
  // Pages imported from files (qoinfo import) open too, where the browser
  // lets an extension open them; elsewhere the page says where they are.
  if (canOpenInTab(hit.url)) api.tabs.create({ url: hit.url });
  else if (hit.url.startsWith("file:")) {
    status.textContent = `This browser does not let extensions open saved files: ${hit.url}`;
  }
}

async function forgetHit(index) {
  const hit = hits[index];
  if (!hit) return;
  const reply = await api.runtime.sendMessage({ type: "forget", time: hit.time, url: hit.url });
  if (reply?.ok) search();
  else status.textContent = "Not forgotten: " + (reply?.error ?? "no answer");
}

let typing = 0;
query.addEventListener("input", () => {
  clearTimeout(typing);
  typing = setTimeout(search, 150);
});
query.addEventListener("keydown", (event) => {
  const keys = {
    ArrowDown: () => choose(Math.min(chosen + 1, hits.length - 1)),
    ArrowUp: () => choose(Math.max(chosen - 1, 0)),
    Enter: () => open(chosen),
    Delete: () => forgetHit(chosen),
  };
  if (!keys[event.key] || chosen < 0) return;
  event.preventDefault();
  keys[event.key]();
});

async function showPause() {
  const { paused } = await readSettings();
  pause.textContent = paused ? "Capture paused: resume" : "Pause capture";
}
pause.addEventListener("click", async () => {
  const { paused } = await readSettings();
  await writeSettings({ paused: !paused });
  showPause();
});

showPause();
query.value = new URLSearchParams(location.search).get("q") ?? "";
if (query.value) search();
