#!/usr/bin/env python3
"""The installed package in the browsers started as a person starts them:
headless Chromium through Debian's /usr/bin/chromium with a fresh profile
and no --load-extension captures a loopback page through the system-wide
extension and host manifest, and the extension's toolbar page finds it;
headless Firefox ESR with a fresh profile captures one through the
system-wide .xpi and host manifest, and the add-on's toolbar page finds it. Run by deb_package_test.sh inside its
namespace, on the person's session bus.

    installed_browser.py PROFILES_DIR
Prints PASS/FAIL lines."""

import functools
import json
import os
import signal
import socket
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
# The word each browser's page is found by.
WORDS = {"chromium": "saltmarsh", "firefox": "heronry"}
GECKO_ID = "qoinfo@qoinfoagent"
FIREFOX_UUID = "6d3c0b5e-4f1a-4c8e-9b7d-2a1f0e9c8b7a"


class Quiet(SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


def check(name, condition, detail=""):
    print(("PASS " if condition else "FAIL ") + name + ("" if condition else f": {detail}"))
    return bool(condition)


def found(url, word, timeout):
    """Whether a search for `word` lists `url` within `timeout` seconds."""
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        done = subprocess.run(["qoinfo", "--server", "search", "--json", word],
                              capture_output=True, text=True)
        if any(json.loads(line)["url"] == url for line in done.stdout.splitlines()):
            return True
        time.sleep(0.3)
    return False


class Marionette:
    """Commands to a Firefox started with --marionette: length-prefixed
    JSON arrays on a TCP port."""

    def __init__(self, port, timeout=30):
        end = time.monotonic() + timeout
        while True:
            try:
                self.socket = socket.create_connection(("127.0.0.1", port), timeout=timeout)
                break
            except OSError:
                if time.monotonic() > end:
                    raise
                time.sleep(0.3)
        self.next = 0
        self._read()  # the greeting

    def _read(self):
        size = b""
        while not size.endswith(b":"):
            size += self.socket.recv(1)
        data = b""
        while len(data) < int(size[:-1]):
            data += self.socket.recv(int(size[:-1]) - len(data))
        return json.loads(data)

    def call(self, command, params=None):
        self.next += 1
        message = json.dumps([0, self.next, command, params or {}]).encode()
        self.socket.sendall(str(len(message)).encode() + b":" + message)
        while True:
            reply = self._read()
            if reply[0] == 1 and reply[1] == self.next:
                if reply[2]:
                    raise RuntimeError(f"{command}: {reply[2].get('message')}")
                return reply[3]


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def firefox(profiles, url):
    """Firefox ESR with a fresh profile: the installed add-on files the page,
    and its toolbar page (at an address fixed through the profile's
    extensions.webextensions.uuids) finds it."""
    profile = os.path.join(profiles, "firefox")
    os.makedirs(profile)
    port = free_port()
    with open(os.path.join(profile, "user.js"), "w") as f:
        f.write('user_pref("extensions.webextensions.uuids", %s);\n'
                'user_pref("marionette.port", %d);\n'
                % (json.dumps(json.dumps({GECKO_ID: FIREFOX_UUID})), port))
    log = open(profile + ".log", "w")
    browser = subprocess.Popen(
        ["/usr/bin/firefox-esr", "--headless", "--no-remote", "--profile", profile,
         "--marionette", "--remote-allow-system-access"],
        stdout=log, stderr=log, start_new_session=True)
    try:
        firefox = Marionette(port)
        firefox.call("WebDriver:NewSession", {"capabilities": {}})
        firefox.call("WebDriver:Navigate", {"url": url})
        check("Firefox ESR captures a page through the installed add-on and host",
              found(url, WORDS["firefox"], 45), url)
        # A page may not lead to an add-on's page: the browser's own code
        # opens it in a new tab, which then becomes the one commands go to.
        before = firefox.call("WebDriver:GetWindowHandles")
        firefox.call("Marionette:SetContext", {"value": "chrome"})
        firefox.call("WebDriver:ExecuteScript", {"script": """
            gBrowser.selectedTab = gBrowser.addTab(arguments[0], {triggeringPrincipal:
                Services.scriptSecurityManager.getSystemPrincipal()});""",
            "args": [f"moz-extension://{FIREFOX_UUID}/popup.html?q={WORDS['firefox']}"]})
        firefox.call("Marionette:SetContext", {"value": "content"})
        after = firefox.call("WebDriver:GetWindowHandles")
        firefox.call("WebDriver:SwitchToWindow",
                     {"handle": [h for h in after if h not in before][0]})
        hits = None
        end = time.monotonic() + 30
        while not hits and time.monotonic() < end:
            hits = firefox.call("WebDriver:ExecuteScript", {"script": """
                return [...document.querySelectorAll('#hits .url')].map(u => u.textContent)""",
                "args": []}).get("value")
            time.sleep(0.3)
        check("its toolbar page finds it", hits == [url], hits)
    except (OSError, RuntimeError) as error:
        check("Firefox answers", False, error)
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
              found(url, WORDS["chromium"], 30), url)
        browser.call("Target.closeTarget", {"targetId": target})
        target = browser.call("Target.createTarget",
                              {"url": f"{origin}/popup.html?q={WORDS['chromium']}"})["targetId"]
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
            f.write(f"<!doctype html><title>{name}</title><p>{WORDS[name]} estuary</p>")
    try:
        chromium(sys.argv[1], f"{site}/chromium.html")
        firefox(sys.argv[1], f"{site}/firefox.html")
    finally:
        server.shutdown()


if __name__ == "__main__":
    main()
