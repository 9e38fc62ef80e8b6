#!/usr/bin/env python3
"""The installed package in the browsers started as a person starts them:
headless Chromium through Debian's /usr/bin/chromium with a fresh profile
and no --load-extension captures a loopback page through the system-wide
extension and host manifest, and the extension's toolbar page finds it;
headless Firefox ESR with a fresh profile captures one through the
system-wide .xpi and host manifest. Run by deb_package_test.sh inside its
namespace, on the person's session bus.

    installed_browser.py PROFILES_DIR
Prints PASS/FAIL lines."""

import functools
import json
import os
import signal
import subprocess
import sys
import tempfile
import threading
import time
from http.server import SimpleHTTPRequestHandler, ThreadingHTTPServer

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from browser_test import extension_id  # noqa: E402
from devtools_pipe import Browser, DevToolsError  # noqa: E402

EXTENSION = "/usr/share/chromium/extensions/qoinfo"
WORD = "saltmarsh"


class Quiet(SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


def check(name, condition, detail=""):
    print(("PASS " if condition else "FAIL ") + name + ("" if condition else f": {detail}"))
    return bool(condition)


def found(url, timeout):
    """Whether a search for WORD lists `url` within `timeout` seconds."""
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        done = subprocess.run(["qoinfo", "--server", "search", "--json", WORD],
                              capture_output=True, text=True)
        if any(json.loads(line)["url"] == url for line in done.stdout.splitlines()):
            return True
        time.sleep(0.3)
    return False


def firefox(profiles, url):
    """Firefox ESR opens the page; the installed add-on files it."""
    profile = os.path.join(profiles, "firefox")
    os.makedirs(profile)
    log = open(profile + ".log", "w")
    browser = subprocess.Popen(
        ["/usr/bin/firefox-esr", "--headless", "--no-remote", "--profile", profile, url],
        stdout=log, stderr=log, start_new_session=True)
    try:
        check("Firefox ESR captures a page through the installed add-on and host",
              found(url, 45), url)
    finally:
        os.killpg(browser.pid, signal.SIGTERM)
        browser.wait()


def chromium(profiles, url):
    profile = os.path.join(profiles, "chromium")
    origin = "chrome-extension://" + extension_id(os.path.join(EXTENSION, "manifest.json"))
    log = open(profile + ".log", "w")
    browser = Browser("/usr/bin/chromium", profile, None, log)
    try:
        target = browser.call("Target.createTarget", {"url": url})["targetId"]
        check("Chromium captures a page through the installed extension and host",
              found(url, 30), url)
        browser.call("Target.closeTarget", {"targetId": target})
        target = browser.call("Target.createTarget",
                              {"url": f"{origin}/popup.html?q={WORD}"})["targetId"]
        popup = browser.attach(target)
        hits = browser.wait_for(popup, """
            document.querySelectorAll('#hits li').length > 0 &&
            [...document.querySelectorAll('#hits .url')].map(u => u.textContent)""")
        check("the toolbar page finds it", hits == [url], hits)
    except DevToolsError as error:
        check("the browser answers", False, error)
    finally:
        browser.close()


def main():
    folder = tempfile.mkdtemp()
    server = ThreadingHTTPServer(("127.0.0.1", 0), functools.partial(Quiet, directory=folder))
    threading.Thread(target=server.serve_forever, daemon=True).start()
    site = f"http://127.0.0.1:{server.server_address[1]}"
    for name in ("chromium", "firefox"):
        with open(os.path.join(folder, f"{name}.html"), "w") as f:
            f.write(f"<!doctype html><title>Salt marsh</title><p>{WORD} {name}</p>")
    try:
        chromium(sys.argv[1], f"{site}/chromium.html")
        firefox(sys.argv[1], f"{site}/firefox.html")
    finally:
        server.shutdown()


if __name__ == "__main__":
    main()
