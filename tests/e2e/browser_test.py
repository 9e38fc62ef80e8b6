#!/usr/bin/env python3
"""The extension in a real browser: headless Chromium with the unpacked
extension, the native host registered in the test profile by `qoinfo
install-browser`, the server on a private session bus, and test pages from a
loopback HTTP server. The visits must reach the index exactly as they should
(non-ASCII pages, a page in a legacy encoding, a page longer than the cut, a
page that keeps changing), and never from an excluded site, a private window
or while capture is paused; `qoinfo --server search` finds each page with the
model's Percent. The toolbar page shows the hits of a query with their
passages, the query's words highlighted (a page whose text holds `<script>`
shows it as text), answers while typing, is worked with the keyboard (its
screenshots are kept), and the address bar's suggestions come from the agent,
described by their passages.

Then the same extension folder in headless Firefox ESR, driven through
WebDriver BiDi: installed by its gecko id, the host found through the
manifest `install-browser` writes in the test's HOME, a loopback page
captured and found on the toolbar page and in the address bar's suggestions.

    browser_test.py [--screenshots DIR] [--chromium PROGRAM] [--firefox PROGRAM]
                    [--browsers chromium,firefox] LINUX_BIN_DIR
Ends with "N passed, N failed"."""

import base64
import functools
import hashlib
import json
import os
import re
import subprocess
import sys
import tempfile
import threading
import time
import types
from http.server import SimpleHTTPRequestHandler, ThreadingHTTPServer

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from devtools_pipe import Browser, DevToolsError  # noqa: E402
from native_host_test import percent  # noqa: E402
from private_bus import main_in_private_bus  # noqa: E402
from webdriver_bidi import BidiError, Firefox  # noqa: E402

TEXT_LIMIT = 500000  # capture.js cuts page texts here


def page(title, body, charset="utf-8", script=""):
    return (f'<!doctype html><html><head><meta charset="{charset}">'
            f"<title>{title}</title>{script}</head><body>{body}</body></html>")


# name -> (bytes served, the words a search must find it by)
PAGES = {
    "plain.html": page("Harbour notes", "<p>museum museum harbour lighthouse</p>"),
    "german.html": page("Straßenbahn – Übersicht",
                        "<p>Grüße aus München: die Straßenbahn fährt zum museum. "
                        "Καλημέρα κόσμε 🚋</p>"),
    "cyrillic.html": page("Привет", "<p>Привет из windows-1251</p>", "windows-1251"),
    "large.html": page("Large", "<p>frontword museum " + "lorem " * (TEXT_LIMIT // 6) +
                       "tailword</p>"),
    "spa.html": page("Changing", "<p id=t>spaword</p>", script=(
        "<script>let n = 0; setInterval(() => "
        "{ document.getElementById('t').textContent = 'spaword tick ' + ++n; }, 100);"
        "</script>")),
    "excluded.html": page("Excluded", "<p>secretword</p>"),
    "private.html": page("Private", "<p>privateword</p>"),
    "paused.html": page("Paused", "<p>pausedword</p>"),
    "firefox.html": page("Fuchs &amp; Hase – Übersicht", "<p>foxword</p>"),
    "markup.html": page("Markup as text", "<p>markupword: the page shows "
                        "&lt;script&gt;alert(1)&lt;/script&gt; as text</p>"),
}
FIREFOX_TITLE = "Fuchs & Hase – Übersicht"  # firefox.html's, as the page shows it


class Quiet(SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


def serve(folder):
    for name, text in PAGES.items():
        charset = "cp1251" if "windows-1251" in text else "utf-8"
        with open(os.path.join(folder, name), "wb") as f:
            f.write(text.encode(charset))
    server = ThreadingHTTPServer(("127.0.0.1", 0), functools.partial(Quiet, directory=folder))
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


def project_version():
    """The one version number, from the top CMakeLists.txt's project()."""
    with open(os.path.join(HERE, "..", "..", "CMakeLists.txt")) as f:
        return re.search(r"project\(QoInfoAgent VERSION ([0-9.]+)", f.read()).group(1)


def extension_id(manifest):
    """Chromium's id of an extension with a `key`: SHA-256 of the key's
    bytes, the first 32 hex digits written as letters a-p."""
    with open(manifest) as f:
        key = base64.b64decode(json.load(f)["key"])
    return "".join(chr(ord("a") + int(c, 16)) for c in hashlib.sha256(key).hexdigest()[:32])


def chromium_rows(args, t, port):
    """Chromium: the extension loaded unpacked, every kind of page, the
    toolbar page worked with the keyboard, the address bar's suggestions."""
    check, search, urls, wait_found = t.check, t.search, t.urls, t.wait_found
    linux = args.linux
    config = os.environ["XDG_CONFIG_HOME"]
    done = subprocess.run([f"{linux}/qoinfo", "install-browser", "--browser", "chromium",
                           "--json"], capture_output=True, text=True)
    installed = json.loads(done.stdout or "{}")
    manifest = os.path.join(config, "chromium", "NativeMessagingHosts", "qoinfo.native_host.json")
    check("install-browser writes the manifest where Chromium looks",
          installed.get("manifest") == manifest and os.path.isfile(manifest), done)
    extension = installed.get("extension", "")
    ident = installed.get("extension_id")
    check("the extension's id follows from the key in its manifest",
          ident == extension_id(os.path.join(extension, "manifest.json")), ident)

    site = f"http://127.0.0.1:{port}"
    log = open(os.path.join(args.screenshots, "chromium.log"), "w")
    browser = Browser(args.chromium, os.path.join(config, "chromium"), extension, log)
    origin = f"chrome-extension://{ident}"
    try:
        browser.call("Target.setDiscoverTargets", {"discover": True})

        def load(url, context=None):
            target, session = browser.open(url, context)
            browser.wait_for(session, f"document.URL === {json.dumps(url)} && "
                             "document.readyState === 'complete'")
            return target, session

        # Settings: localhost is an excluded site.
        _, options = load(f"{origin}/options.html")
        # The page reads its settings before it listens; storage answers
        # in order, so once this read is answered, so is the page's.
        browser.evaluate(options, """
            chrome.storage.local.get(null).then(() => {
              document.getElementById('excluded').value = 'localhost\\n';
              document.getElementById('save').click();
            })""")
        check("the settings page saves the excluded site",
              browser.wait_for(options, "document.getElementById('saved').textContent"))

        # Pages that must not be captured, each shown for sure.
        _, excluded = load(f"http://localhost:{port}/excluded.html")
        private = browser.call("Target.createBrowserContext")["browserContextId"]
        _, hidden = load(f"{site}/private.html", private)
        check("the private window shows its page",
              "privateword" in browser.evaluate(hidden, "document.body.innerText"))

        # Paused from the toolbar page, a page is not captured; resumed, it is.
        _, popup = load(f"{origin}/popup.html")
        browser.evaluate(popup, "document.getElementById('pause').click()")
        check("the toolbar page pauses capture", browser.wait_for(
            popup, "document.getElementById('pause').textContent.includes('resume')"))
        _, paused = load(f"{site}/paused.html")
        time.sleep(2)
        browser.evaluate(popup, "document.getElementById('pause').click()")
        browser.wait_for(popup, "document.getElementById('pause').textContent == 'Pause capture'")

        for name in ("plain.html", "german.html", "cyrillic.html", "large.html", "spa.html",
                     "markup.html"):
            load(f"{site}/{name}")
        for word in ("harbour", "straßenbahn", "привет", "frontword", "spaword",
                     "markupword"):
            check(f"the page with '{word}' is captured", wait_found(word), word)
        browser.evaluate(paused, "location.reload()")
        check("after resuming, a page is captured", wait_found("pausedword"))
        time.sleep(4)  # the changing page keeps changing; the others had their time

        check("a page of an excluded site is not captured", not search("secretword"))
        check("a page of a private window is not captured", not search("privateword"))
        check("a page seen while paused is captured only after resuming",
              len(search("pausedword")) == 1, search("pausedword"))
        check("a changing page is sent once within its minute",
              len(search("spaword")) == 1, search("spaword"))
        check("the text is cut at its limit", not search("tailword"))

        hits = search("straßenbahn")
        check("a non-ASCII page, its title and the model's Percent",
              [(h["url"], h["title"], h["percent"]) for h in hits] ==
              [(f"{site}/german.html", "Straßenbahn – Übersicht", percent("straßenbahn", 1))],
              hits)
        check("a legacy encoding arrives as Unicode",
              [(h["title"], h["percent"]) for h in search("windows-1251")] ==
              [("Привет", percent("windows-1251", 1))])
        check("a text beyond the Basic Multilingual Plane", urls("🚋") == [f"{site}/german.html"])
        museum = search("museum")
        # Equal Percent: the page filed later comes first.
        check("exactly the pages holding a word, best first",
              [(h["url"], h["percent"]) for h in museum][:1] ==
              [(f"{site}/plain.html", percent("museum", 2))] and
              sorted((h["url"], h["percent"]) for h in museum[1:]) ==
              [(f"{site}/{name}", percent("museum", 1))
               for name in ("german.html", "large.html")], museum)

        # The toolbar page: the hits of a query, the keyboard, the screenshot.
        _, popup = load(f"{origin}/popup.html?q=museum")
        rows = browser.wait_for(popup, """
            document.querySelectorAll('#hits li').length === 3 &&
            [...document.querySelectorAll('#hits li')].map(li => [
              li.querySelector('.url').textContent,
              li.querySelector('.title').textContent,
              li.querySelector('.meta').textContent])""")
        check("the toolbar page shows the hits of a query (title, URL, percent, time)",
              rows and [(r[0], r[1]) for r in rows] == [(h["url"], h["title"]) for h in museum]
              and all(r[2].startswith(f"{h['percent']}% · ") for r, h in zip(rows, museum)),
              rows)
        shot = browser.call("Page.captureScreenshot", {"format": "png"}, popup)
        with open(os.path.join(args.screenshots, "toolbar-page.png"), "wb") as f:
            f.write(base64.b64decode(shot["data"]))
        marked = browser.evaluate(popup, """
            [...document.querySelectorAll('#hits li')].map(li =>
              [...li.querySelectorAll('.snippet mark')].map(m => m.textContent))""")
        check("each hit shows its passage, the query's words highlighted",
              marked and all(m and all(w.lower() == "museum" for w in m) for m in marked),
              marked)

        # Typing: the last word as the beginning of a word, answered while typing.
        _, typing = load(f"{origin}/popup.html")
        browser.evaluate(typing, """
            const box = document.getElementById('query');
            box.value = 'markupw';
            box.dispatchEvent(new Event('input'));""")
        typed = browser.wait_for(typing, """
            document.querySelectorAll('#hits li').length === 1 &&
            [document.querySelector('.url').textContent,
             document.querySelector('.snippet').textContent,
             [...document.querySelectorAll('.snippet mark')].map(m => m.textContent),
             document.querySelectorAll('script').length,
             document.querySelectorAll('.snippet *:not(mark)').length]""")
        check("typing the beginning of a word finds its page",
              typed and typed[0] == f"{site}/markup.html", typed)
        check("a page's <script> shows as text in its passage, never as markup",
              typed and "<script>alert(1)</script>" in typed[1] and
              typed[2] == ["markupword"] and typed[3] == 1 and typed[4] == 0, typed)
        shot = browser.call("Page.captureScreenshot", {"format": "png"}, typing)
        with open(os.path.join(args.screenshots, "toolbar-page-passage.png"), "wb") as f:
            f.write(base64.b64decode(shot["data"]))
        while not browser.events.empty():
            browser.events.get()
        browser.call("Runtime.evaluate", {"expression": "document.getElementById('query').focus()"},
                     popup)
        browser.key(popup, "ArrowDown", "ArrowDown", 40)
        chosen = browser.evaluate(popup, """
            [...document.querySelectorAll('#hits li')]
              .findIndex(li => li.getAttribute('aria-selected') === 'true')""")
        check("Down chooses the next hit", chosen == 1, chosen)
        browser.key(popup, "Enter", "Enter", 13)
        opened = None
        end = time.monotonic() + 10
        while opened is None and time.monotonic() < end:
            try:
                event = browser.events.get(timeout=1)
            except Exception:
                continue
            info = event.get("params", {}).get("targetInfo", {})
            if event["method"] == "Target.targetCreated" and info.get("type") == "page":
                opened = info["url"]
        check("Enter opens the chosen hit in a new tab", opened == museum[1]["url"], opened)
        # The opened tab is a visit of its own: once it is filed, a new
        # toolbar page lists four visits, and Delete takes the third.
        end = time.monotonic() + 30
        while len(search("museum")) < 4 and time.monotonic() < end:
            time.sleep(0.2)
        _, popup = load(f"{origin}/popup.html?q=museum&again")
        hit_urls = "[...document.querySelectorAll('.url')].map(u => u.textContent)"
        before = browser.wait_for(
            popup, f"document.querySelectorAll('#hits li').length === 4 && {hit_urls}")
        browser.call("Runtime.evaluate", {"expression": "document.getElementById('query').focus()"},
                     popup)
        browser.key(popup, "ArrowDown", "ArrowDown", 40)
        browser.key(popup, "ArrowDown", "ArrowDown", 40)
        browser.key(popup, "Delete", "Delete", 46)
        left = browser.wait_for(
            popup, f"document.querySelectorAll('#hits li').length === 3 && {hit_urls}")
        check("Delete forgets the chosen visit",
              before and left == before[:2] + before[3:] and
              urls("museum") == sorted(left), (before, left, urls("museum")))

        # The address bar's keyword: the service worker's suggestions.
        workers = [t for t in browser.targets("service_worker") if t["url"].startswith(origin)]
        worker = browser.attach(workers[0]["targetId"]) if workers else None
        suggestions = worker and browser.evaluate(worker, "qoinfo.omniboxSuggestions('museum')")
        check("the address bar suggests the agent's hits",
              suggestions and [s["content"] for s in suggestions] ==
              list(dict.fromkeys(left or [])) and
              all("%)" in s["description"] for s in suggestions), suggestions)
        check("a suggestion's description holds its passage, the words in <match>",
              suggestions and all("<match>museum</match>" in s["description"].lower()
                                  for s in suggestions), suggestions)
        markup = worker and browser.evaluate(worker, "qoinfo.omniboxSuggestions('markupw')")
        check("a page's markup is escaped in the description",
              markup and "&#60;script&#62;alert(1)&#60;/script&#62;" in markup[0]["description"]
              and "<script>" not in markup[0]["description"], markup)
    except DevToolsError as error:
        check("the browser answers", False, error)
    finally:
        browser.close()

# Firefox's internal host name of the extension's pages, fixed for the test
# (Firefox draws one at random per profile).
FIREFOX_UUID = "0e6f3a52-1b7c-4d2e-9a51-3f0c2d8b7e14"


def firefox_rows(args, t, port, work):
    """Firefox ESR: the same folder, installed by its gecko id; the host
    manifest in the user's ~/.mozilla; a loopback page captured, then found
    on the toolbar page and in the address bar's suggestions (Firefox's own
    address bar: headless Firefox has one, unlike headless Chromium)."""
    home = os.path.join(work, "home")
    os.makedirs(home)
    env = dict(os.environ, HOME=home)
    extension = os.path.join(os.path.dirname(args.linux), "extension")
    with open(os.path.join(extension, "manifest.json")) as f:
        gecko = json.load(f)["browser_specific_settings"]["gecko"]["id"]
    log = open(os.path.join(args.screenshots, "firefox.log"), "w")
    try:
        browser = Firefox(args.firefox, os.path.join(work, "firefox"), log, env, prefs=[
            ("extensions.webextensions.uuids", json.dumps({gecko: FIREFOX_UUID}))])
    except BidiError as error:
        t.check("Firefox starts", False, error)
        return
    try:
        ident = browser.install(extension)
        t.check("Firefox installs the extension's folder by its gecko id", ident == gecko, ident)
        # Before install-browser, Firefox knows no host: the toolbar page
        # says what to run.
        popup = browser.open(f"moz-extension://{FIREFOX_UUID}/popup.html?q=foxword")
        status = browser.wait_for(popup, "document.getElementById('status').textContent")
        t.check("Firefox's toolbar page says how to install a missing host",
                status and status.endswith("(run: qoinfo install-browser)"), status)

        done = subprocess.run([f"{args.linux}/qoinfo", "install-browser", "--browser",
                               "firefox", "--json"], capture_output=True, text=True, env=env)
        installed = json.loads(done.stdout or "{}")
        manifest = os.path.join(home, ".mozilla", "native-messaging-hosts",
                                "qoinfo.native_host.json")
        host = {}
        if os.path.isfile(manifest):
            with open(manifest) as f:
                host = json.load(f)
        t.check("install-browser writes the manifest where Firefox looks, for the gecko id",
                installed.get("manifest") == manifest and
                os.path.realpath(installed.get("extension", "")) == os.path.realpath(extension)
                and host.get("allowed_extensions") == [gecko], done)
        url = f"http://127.0.0.1:{port}/firefox.html"
        browser.open(url)
        t.wait_found("foxword")
        hits = t.search("foxword")
        t.check("Firefox captures a loopback page and files it through the native host",
                [(h["url"], h["title"], h["percent"]) for h in hits] ==
                [(url, FIREFOX_TITLE, percent("foxword", 1))], hits)
        popup = browser.open(f"moz-extension://{FIREFOX_UUID}/popup.html?q=foxword")
        rows = browser.wait_for(popup, """
            document.querySelectorAll('#hits li').length === 1 &&
            [...document.querySelectorAll('#hits li')].map(li => [
              li.querySelector('.url').textContent, li.querySelector('.title').textContent])""")
        t.check("Firefox's toolbar page finds the page", rows == [[url, FIREFOX_TITLE]], rows)
        version = browser.evaluate(popup, "browser.runtime.getManifest().version")
        t.check("the extension runs with the project's version", version == project_version(),
                version)
        with open(os.path.join(args.screenshots, "firefox-toolbar-page.png"), "wb") as f:
            f.write(base64.b64decode(browser.screenshot(popup)))
        # A page imported from a saved file: Firefox does not let an
        # extension open file: addresses, so the toolbar page says where it is.
        saved = "file:///home/me/saved/foxfile.html"
        subprocess.run([f"{args.linux}/qoinfo", "--server", "add", "--time", "1796724000",
                        "--url", saved, "--title", "Saved", "--text", "foxfile"], check=True)
        popup = browser.open(f"moz-extension://{FIREFOX_UUID}/popup.html?q=foxfile")
        browser.wait_for(popup, "document.querySelectorAll('#hits li').length === 1")
        browser.evaluate(popup, "document.querySelector('#hits li').click()")
        status = browser.wait_for(popup, """document.getElementById('status').textContent
            .includes('saved files') && document.getElementById('status').textContent""")
        t.check("Firefox's toolbar page names a saved file it may not open",
                status and status.endswith(saved), status)
        # Firefox's own address bar, typed into from the browser window:
        # the keyword's rows (its default suggestion first).
        window = browser.tabs("chrome")[0]["context"]
        browser.evaluate(window, "gURLBar.focus(); gURLBar.search('qo foxword'); true")
        rows = browser.wait_for(window, """
            gURLBar.view.visibleResults.length === 2 &&
            gURLBar.view.visibleResults.map(r => [r.payload.keyword, r.payload.content,
                                                   r.payload.title])""")
        t.check("Firefox's address bar suggests the page for the keyword, in plain text, "
                "with its passage",
                rows and rows[1] == ["qo", f"qo {url}",
                                     f"{FIREFOX_TITLE} ({percent('foxword', 1)}%) {url} — foxword"],
                rows)
    except BidiError as error:
        t.check("Firefox answers", False, error)
    finally:
        browser.close()


def client(args):
    linux = args.linux
    os.makedirs(args.screenshots, exist_ok=True)
    results = []

    def check(name, condition, detail=""):
        results.append(bool(condition))
        print(("PASS " if condition else "FAIL ") + name + ("" if condition else f": {detail}"))

    def search(query):
        done = subprocess.run([f"{linux}/qoinfo", "--server", "search", "--json", query],
                              capture_output=True, text=True)
        return [json.loads(line) for line in done.stdout.splitlines()]

    def urls(query):
        return sorted(hit["url"] for hit in search(query))

    def wait_found(query, timeout=30):
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            if search(query):
                return True
            time.sleep(0.3)
        return False

    t = types.SimpleNamespace(check=check, search=search, urls=urls, wait_found=wait_found)
    with tempfile.TemporaryDirectory() as work:
        server = serve(work)
        port = server.server_address[1]
        try:
            if "chromium" in args.browsers:
                chromium_rows(args, t, port)
            if "firefox" in args.browsers:
                firefox_rows(args, t, port, work)
        finally:
            server.shutdown()
    failed = results.count(False)
    print(f"{len(results) - failed} passed, {failed} failed")
    return 1 if failed else 0


def options(parser):
    parser.add_argument("--screenshots",
                        default=os.path.join(HERE, "..", "..", "build", "test-logs", "browser"))
    parser.add_argument("--chromium", default="chromium")
    parser.add_argument("--firefox", default="firefox-esr")
    parser.add_argument("--browsers", default="chromium,firefox", type=lambda v: v.split(","),
                        help="which browsers run, of chromium,firefox")


if __name__ == "__main__":
    sys.exit(main_in_private_bus(
        __file__, client, options,
        lambda args: ["--screenshots", os.path.abspath(args.screenshots),
                      "--chromium", args.chromium, "--firefox", args.firefox,
                      "--browsers", ",".join(args.browsers)]))
