"""Drives a headless Chromium through the DevTools protocol on a pipe
(--remote-debugging-pipe: commands on the browser's descriptor 3, replies and
events on its descriptor 4, each message JSON ending in a NUL byte), so that a
test needs no WebSocket client and no open port."""

import fcntl
import json
import os
import queue
import subprocess
import threading
import time


class DevToolsError(Exception):
    pass


class Browser:
    """A headless Chromium with its own profile folder; `extension` is loaded
    unpacked (None: only what the browser loads by itself). Close it with
    close()."""

    def __init__(self, chromium, profile, extension, log, extra=()):
        to_browser, self._commands = os.pipe()
        self._replies, from_browser = os.pipe()
        # The child's descriptors 3 and 4 are set up from copies numbered
        # above them, so that no dup2 overwrites another.
        high = [fcntl.fcntl(fd, fcntl.F_DUPFD, 10) for fd in (to_browser, from_browser)]
        os.close(to_browser)
        os.close(from_browser)

        def descriptors():
            os.dup2(high[0], 3)
            os.dup2(high[1], 4)

        loading = [f"--load-extension={extension}",
                   f"--disable-extensions-except={extension}"] if extension else []
        args = [chromium, "--headless=new", "--no-sandbox", "--disable-gpu",
                f"--user-data-dir={profile}", *loading,
                "--remote-debugging-pipe", "--no-first-run",
                "--no-default-browser-check", "--window-size=800,600",
                *extra, "about:blank"]
        # Python's own descriptors are not inherited (close-on-exec); those
        # made by dup2 are, which close_fds would undo after preexec_fn.
        self.process = subprocess.Popen(args, close_fds=False, preexec_fn=descriptors,
                                        stdout=log, stderr=log)
        for fd in high:
            os.close(fd)
        self._next = 0
        self._waiting = {}
        self._lock = threading.Lock()
        self.events = queue.Queue()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        pending = b""
        while True:
            chunk = os.read(self._replies, 65536)
            if not chunk:
                break
            pending += chunk
            while b"\0" in pending:
                message, pending = pending.split(b"\0", 1)
                message = json.loads(message)
                with self._lock:
                    slot = self._waiting.pop(message.get("id"), None)
                if slot is not None:
                    slot.put(message)
                elif "method" in message:
                    self.events.put(message)
        with self._lock:
            for slot in self._waiting.values():
                slot.put({"error": {"message": "the browser ended"}})

    def call(self, method, params=None, session=None, timeout=30):
        with self._lock:
            self._next += 1
            ident = self._next
            slot = self._waiting[ident] = queue.Queue()
        message = {"id": ident, "method": method, "params": params or {}}
        if session:
            message["sessionId"] = session
        os.write(self._commands, json.dumps(message).encode() + b"\0")
        try:
            reply = slot.get(timeout=timeout)
        except queue.Empty:
            raise DevToolsError(f"{method}: no reply in {timeout} s")
        if "error" in reply:
            raise DevToolsError(f"{method}: {reply['error'].get('message')}")
        return reply["result"]

    def open(self, url, context=None):
        """A new tab showing `url`; returns its (target, session)."""
        params = {"url": url}
        if context:
            params["browserContextId"] = context
        target = self.call("Target.createTarget", params)["targetId"]
        session = self.call("Target.attachToTarget",
                            {"targetId": target, "flatten": True})["sessionId"]
        return target, session

    def attach(self, target):
        return self.call("Target.attachToTarget",
                         {"targetId": target, "flatten": True})["sessionId"]

    def evaluate(self, session, expression, timeout=30):
        """The value of a JavaScript expression (promises awaited)."""
        result = self.call("Runtime.evaluate",
                           {"expression": expression, "awaitPromise": True,
                            "returnByValue": True}, session, timeout)
        if "exceptionDetails" in result:
            details = result["exceptionDetails"]
            raise DevToolsError(details.get("exception", {}).get("description")
                                or details.get("text"))
        return result["result"].get("value")

    def wait_for(self, session, expression, timeout=30):
        """Waits until the expression is true in the page; its last value."""
        end = time.monotonic() + timeout
        while True:
            try:
                value = self.evaluate(session, expression)
            except DevToolsError:
                value = None
            if value or time.monotonic() > end:
                return value
            time.sleep(0.2)

    def targets(self, kind=None):
        found = self.call("Target.getTargets")["targetInfos"]
        return [t for t in found if kind is None or t["type"] == kind]

    def key(self, session, key, code, key_code):
        for kind in ("rawKeyDown", "keyUp"):
            self.call("Input.dispatchKeyEvent",
                      {"type": kind, "key": key, "code": code,
                       "windowsVirtualKeyCode": key_code,
                       "nativeVirtualKeyCode": key_code}, session)

    def close(self):
        try:
            self.call("Browser.close", timeout=10)
        except DevToolsError:
            pass
        try:
            self.process.wait(timeout=20)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        os.close(self._commands)
