"""Drives a headless Firefox through WebDriver BiDi on a loopback WebSocket
(--remote-debugging-port), with a profile folder of its own: install an
extension from its folder, open pages (extension pages too) and read values
of JavaScript in them."""

import json
import os
import socket
import subprocess
import time

import websocket  # Debian's python3-websocket


class BidiError(Exception):
    pass


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def plain(remote):
    """A BiDi remote value as Python data (arrays, objects, primitives)."""
    kind, value = remote.get("type"), remote.get("value")
    if kind == "array":
        return [plain(item) for item in value]
    if kind == "object":
        return {key if isinstance(key, str) else plain(key): plain(item) for key, item in value}
    if kind in ("undefined", "null"):
        return None
    return value


class Firefox:
    """A headless Firefox ESR with its profile in `profile`; `prefs` go into
    the profile's user.js. Close it with close()."""

    def __init__(self, firefox, profile, log, env, prefs=()):
        os.makedirs(profile, exist_ok=True)
        with open(os.path.join(profile, "user.js"), "w") as f:
            for name, value in prefs:
                f.write(f"user_pref({json.dumps(name)}, {json.dumps(value)});\n")
        port = free_port()
        # System access lets the test open the extension's own pages, which
        # browsingContext.navigate refuses, from the browser window's scope.
        self.process = subprocess.Popen(
            [firefox, "--headless", "--no-remote", "--profile", profile,
             "--remote-debugging-port", str(port), "--remote-allow-system-access"],
            stdout=log, stderr=log, env=env)
        self._next = 0
        self._socket = None
        try:
            self._connect(port)
            self.call("session.new", {"capabilities": {}})
        except BidiError:
            self.close()
            raise

    def _connect(self, port):
        end = time.monotonic() + 30
        while True:
            try:
                # Firefox refuses connections that name an Origin.
                self._socket = websocket.create_connection(
                    f"ws://127.0.0.1:{port}/session", suppress_origin=True, timeout=30)
                return
            except (OSError, websocket.WebSocketException):
                if time.monotonic() > end or self.process.poll() is not None:
                    raise BidiError("Firefox did not open its WebDriver BiDi port")
                time.sleep(0.1)

    def call(self, method, params=None):
        self._next += 1
        self._socket.send(json.dumps({"id": self._next, "method": method,
                                      "params": params or {}}))
        while True:
            try:
                reply = json.loads(self._socket.recv())
            except (OSError, websocket.WebSocketException) as error:
                raise BidiError(f"{method}: {error}")
            if reply.get("id") == self._next:
                break
        if reply.get("type") == "error":
            raise BidiError(f"{method}: {reply.get('message') or reply.get('error')}")
        return reply["result"]

    def install(self, folder):
        """Installs the unpacked extension in `folder` (temporarily); its id."""
        return self.call("webExtension.install",
                         {"extensionData": {"type": "path", "path": folder}})["extension"]

    def tabs(self, scope=None):
        params = {"moz:scope": scope} if scope else {}
        return self.call("browsingContext.getTree", params)["contexts"]

    def open(self, url):
        """A new tab showing `url`; its context. Web pages load through
        BiDi; extension pages are opened by the browser window itself."""
        if not url.startswith("moz-extension:"):
            tab = self.call("browsingContext.create", {"type": "tab"})["context"]
            self.call("browsingContext.navigate", {"context": tab, "url": url, "wait": "complete"})
            return tab
        before = {tab["context"] for tab in self.tabs()}
        window = self.tabs("chrome")[0]["context"]
        self.evaluate(window, f"""gBrowser.selectedTab = gBrowser.addTab({json.dumps(url)},
            {{ triggeringPrincipal: Services.scriptSecurityManager.getSystemPrincipal() }});
            true""")
        end = time.monotonic() + 10
        while time.monotonic() < end:
            new = [tab["context"] for tab in self.tabs() if tab["context"] not in before]
            if new:
                return new[0]
            time.sleep(0.1)
        raise BidiError(f"{url} did not open")

    def evaluate(self, context, expression):
        """The value of a JavaScript expression (promises awaited)."""
        result = self.call("script.evaluate", {"expression": expression,
                                               "target": {"context": context},
                                               "awaitPromise": True})
        if result["type"] == "exception":
            raise BidiError(result["exceptionDetails"].get("text"))
        return plain(result["result"])

    def wait_for(self, context, expression, timeout=30):
        """Waits until the expression is true in the page; its last value."""
        end = time.monotonic() + timeout
        while True:
            try:
                value = self.evaluate(context, expression)
            except BidiError:
                value = None
            if value or time.monotonic() > end:
                return value
            time.sleep(0.2)

    def screenshot(self, context):
        """A PNG of the tab, as base64."""
        return self.call("browsingContext.captureScreenshot", {"context": context})["data"]

    def close(self):
        try:
            if self._socket:
                self._socket.close()
        except (OSError, websocket.WebSocketException):
            pass
        self.process.terminate()
        try:
            self.process.wait(timeout=20)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
