#!/usr/bin/env python3
"""qoinfo-native-host speaking native messaging on a private session bus
with the server under test: each row of the table is one frame and what its
reply must say. All rows go through one host process, which must answer each
one (an error reply for every malformed message) and keep going; its
standard output must hold those frames and nothing else. Streams that end
inside a frame, and a bus without the server, run in processes of their own.

    native_host_test.py LINUX_BIN_DIR
Ends with "N passed, N failed"."""

import json
import os
import signal
import struct
import subprocess
import sys
import time

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from private_bus import main_in_private_bus  # noqa: E402

CAP = 4 * 1024 * 1024  # the host's largest message


def frame(payload):
    if isinstance(payload, dict):
        payload = json.dumps(payload)
    if isinstance(payload, str):
        payload = payload.encode()
    return struct.pack("=I", len(payload)) + payload


def split_frames(out):
    """The replies on standard output; None when anything else is there."""
    replies = []
    while out:
        if len(out) < 4:
            return None
        (length,) = struct.unpack("=I", out[:4])
        if len(out) < 4 + length:
            return None
        try:
            replies.append(json.loads(out[4:4 + length].decode()))
        except ValueError:
            return None
        out = out[4 + length:]
    return replies


def run_host(linux, data, env=None):
    done = subprocess.run([f"{linux}/qoinfo-native-host", "chrome-extension://test/"],
                          input=data, capture_output=True, env=env, timeout=120)
    return done.returncode, split_frames(done.stdout), done.stderr.decode(errors="replace")


def percent(word, count):
    """The Percent of a one-word query on a page holding it `count` times
    (docs/search.md)."""
    k = 30 * len(word)
    score = k * count
    return score * 100 // k if k < 100 else int(score / (k // 100))


def ok(**fields):
    return lambda r: r.get("ok") is True and all(r.get(k) == v for k, v in fields.items())


def error(symbol, id=None, says=""):
    return lambda r: (r.get("ok") is False and r.get("symbol") == symbol and
                      r.get("id") == id and says in r.get("error", ""))


def hits(*urls, more=False, percent_of=None):
    def check(r):
        got = [h["url"] for h in r.get("hits", [])]
        if r.get("ok") is not True or got != list(urls) or r.get("more") != more:
            return False
        return percent_of is None or [h["percent"] for h in r["hits"]] == percent_of
    return check


def passages(*want):
    """Each hit's snippet as (text, marks), in order."""
    return lambda r: r.get("ok") is True and [
        (h.get("snippet", {}).get("text"), h.get("snippet", {}).get("marks"))
        for h in r.get("hits", [])] == list(want)


T = 1796724000
VISIT = {"type": "visit", "time": T, "url": "https://a.example/", "title": "Pâté",
         "text": "zebrafish tank notes"}
# Every JavaScript string escape at once, as the extension's largest message can be.
BIG_TEXT = "\u00e9" * 500000
ROWS = [
    ("a visit is filed", {**VISIT, "id": 1}, ok(id=1, new=True, indexed=True)),
    ("the same visit again changes nothing", {**VISIT, "id": 2}, ok(new=False, indexed=False)),
    ("a second page", {"id": 3, "type": "visit", "time": T + 60, "url": "https://b.example/",
                       "title": "B", "text": "zebrafish zebrafish"}, ok(new=True)),
    ("search: best first, with the model's Percent",
     {"id": 4, "type": "search", "query": "zebrafish"},
     hits("https://b.example/", "https://a.example/",
          percent_of=[percent("zebrafish", 2), percent("zebrafish", 1)])),
    ("search: limit and more", {"id": 5, "type": "search", "query": "zebrafish", "limit": 1},
     hits("https://b.example/", more=True)),
    ("find: Search's hits, each with its passage, the query's words marked",
     {"id": 28, "type": "find", "query": "zebrafish"},
     passages(("zebrafish zebrafish", [[0, 9], [10, 9]]), ("zebrafish tank notes", [[0, 9]]))),
    ("find while typing: the last word as a prefix",
     {"id": 29, "type": "find", "query": "zebr", "prefix": True},
     hits("https://b.example/", "https://a.example/")),
    ("find: a phrase", {"id": 30, "type": "find", "query": '"tank notes"'},
     passages(("zebrafish tank notes", [[10, 4], [15, 5]]))),
    ("find: the same words in another order are no phrase",
     {"id": 31, "type": "find", "query": '"notes tank"'}, hits()),
    ("forget", {"id": "f", "type": "forget", "time": T, "url": "https://a.example/"}, ok(id="f")),
    ("a forgotten page is not found", {"id": 6, "type": "search", "query": "tank"}, hits()),
    ("forget of no visit", {"id": 7, "type": "forget", "time": T, "url": "https://a.example/"},
     error("URLBASE_E_NOVISIT", 7)),
    ("the largest message the extension sends",
     {"id": 8, "type": "visit", "time": T, "url": "https://big.example/", "text": BIG_TEXT},
     ok(id=8, new=True)),
    ("not JSON", b"visit https://x/", error("E_INVALIDARG", None, "not a flat JSON object")),
    ("an empty message", b"", error("E_INVALIDARG")),
    ("an array", b'["visit"]', error("E_INVALIDARG")),
    ("trailing text", b'{"type":"search","query":"a"} {}', error("E_INVALIDARG")),
    ("a key given twice", b'{"id":9,"type":"search","query":"a","query":"b"}',
     error("E_INVALIDARG", None, "twice")),
    ("a nested value", {"id": 10, "type": "search", "query": {"words": "a"}},
     error("E_INVALIDARG", None, "nested")),
    ("no type", {"id": 11, "query": "a"}, error("E_INVALIDARG", 11, "'type'")),
    ("an unknown type", {"id": 12, "type": "delete"}, error("E_INVALIDARG", 12, "'type'")),
    ("a visit without url", {"id": "m", "type": "visit", "time": T, "text": "t"},
     error("E_INVALIDARG", "m", "'url' is missing")),
    ("a visit without text", {"id": 13, "type": "visit", "time": T, "url": "https://x/"},
     error("E_INVALIDARG", 13, "'text' is missing")),
    ("an empty url", {"id": 14, "type": "forget", "time": T, "url": ""},
     error("E_INVALIDARG", 14, "'url'")),
    ("a time in words", {**VISIT, "id": 15, "time": "yesterday"}, error("E_INVALIDARG", 15, "'time'")),
    ("a time with a fraction", {**VISIT, "id": 16, "time": 1.5}, error("E_INVALIDARG", 16, "'time'")),
    ("a time beyond 64 bits", b'{"id":17,"type":"forget","time":99999999999999999999,"url":"u"}',
     error("E_INVALIDARG", 17, "'time'")),
    ("a title that is a number", {**VISIT, "id": 18, "title": 5}, error("E_INVALIDARG", 18, "'title'")),
    ("an id that is neither number nor string", {"id": True, "type": "search", "query": "a"},
     error("E_INVALIDARG", None, "'id'")),
    ("an id too long to carry back", {"id": "i" * 257, "type": "search", "query": "a"},
     error("E_INVALIDARG", None, "'id'")),
    ("limit 0", {"id": 19, "type": "search", "query": "a", "limit": 0}, error("E_INVALIDARG", 19)),
    ("limit above 100", {"id": 20, "type": "search", "query": "a", "limit": 101},
     error("E_INVALIDARG", 20)),
    ("an empty query", {"id": 21, "type": "search", "query": ""}, error("E_INVALIDARG", 21)),
    ("find: an empty query", {"id": 26, "type": "find", "query": ""}, error("E_INVALIDARG", 26)),
    ("find: a prefix that is not true or false",
     {"id": 27, "type": "find", "query": "a", "prefix": 1}, error("E_INVALIDARG", 27, "'prefix'")),
    ("invalid UTF-8", b'{"id":22,"type":"search","query":"\xff\xfe"}', error("E_INVALIDARG")),
    ("an unpaired surrogate", b'{"id":23,"type":"search","query":"\\ud800"}',
     error("E_INVALIDARG", None, "surrogate")),
    ("a control character in a string", b'{"id":24,"type":"search","query":"a\x01"}',
     error("E_INVALIDARG")),
    ("a message over the cap is read past", b" " * (CAP + 1),
     error("E_INVALIDARG", None, "longer than")),
    ("and the next one is answered", {"id": 25, "type": "search", "query": "zebrafish"},
     hits("https://b.example/")),
]

# Streams that end where they should not: one error reply, then the end.
ENDINGS = [
    ("the stream ends inside a length", b"\x05\x00"),
    ("the stream ends inside a message", struct.pack("=I", 100) + b'{"type":'),
    ("a length of 4 GiB, then the end", b"\xff\xff\xff\xff" + b"{}"),
]


def stop_agent_server():
    """SIGTERM to the process that owns the agent's name; waits for its end."""
    import dbus
    bus = dbus.SessionBus()
    daemon = bus.get_object("org.freedesktop.DBus", "/org/freedesktop/DBus")
    pid = daemon.GetConnectionUnixProcessID("QoInfoAgent.ZuInfoAgent",
                                            dbus_interface="org.freedesktop.DBus")
    os.kill(int(pid), signal.SIGTERM)
    for _ in range(300):
        if not os.path.exists(f"/proc/{int(pid)}"):
            return
        time.sleep(0.1)


def client(args):
    linux = args.linux
    results = []

    def check(name, condition, detail=""):
        results.append(condition)
        print(("PASS " if condition else "FAIL ") + name + ("" if condition else f": {detail}"))

    data = b"".join(frame(row[1]) for row in ROWS)
    status, replies, log = run_host(linux, data)
    check("standard output holds frames and nothing else", replies is not None)
    replies = replies or []
    check("one reply to every message", len(replies) == len(ROWS), f"{len(replies)} replies")
    for (name, _, want), reply in zip(ROWS, replies):
        check(name, want(reply), json.dumps(reply)[:300])
    check("the host ends with its input, exit 0", status == 0, f"exit {status}: {log[-500:]}")
    check("failures are logged on standard error", "not a flat JSON object" in log)

    for name, data in ENDINGS:
        status, replies, _ = run_host(linux, data)
        check(name, status == 1 and replies is not None and len(replies) == 1 and
              error("E_INVALIDARG", None, "ended inside")(replies[0]), f"{status} {replies}")

    # The server ends between two messages: the next message starts it again.
    visit = {**VISIT, "url": "https://again.example/"}
    host = subprocess.Popen([f"{linux}/qoinfo-native-host"], stdin=subprocess.PIPE,
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)

    def ask(message):
        host.stdin.write(frame(message))
        host.stdin.flush()
        (length,) = struct.unpack("=I", host.stdout.read(4))
        return json.loads(host.stdout.read(length))

    first = ask({**visit, "id": 1})
    stop_agent_server()
    second = ask({"id": 2, "type": "search", "query": "zebrafish"})
    host.stdin.close()
    host.wait(timeout=30)
    check("after the server ended, the next message reaches it again",
          first.get("ok") and second.get("ok") and
          "https://again.example/" in [h["url"] for h in second["hits"]], f"{first} {second}")

    # No server on the bus: an error reply to each message, and the host goes on.
    env = dict(os.environ, DBUS_SESSION_BUS_ADDRESS="unix:path=/nonexistent/bus")
    status, replies, _ = run_host(linux, frame({"id": 1, "type": "search", "query": "a"}) +
                                  frame(VISIT), env)
    check("no session bus: an error reply to each message",
          status == 0 and replies is not None and len(replies) == 2 and
          all(r["ok"] is False and "session bus" in r["error"] for r in replies), f"{replies}")

    failed = results.count(False)
    print(f"{len(results) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main_in_private_bus(__file__, client))
