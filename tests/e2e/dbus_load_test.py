#!/usr/bin/env python3
"""Load and limits of the D-Bus server, on a private session bus.

Load: CLIENTS processes make CALLS mixed calls each at the same time (add a
page: AddVisit then AddData; forget one: FindVisit then RemoveVisit; search:
Search, NextBatch until the end, Release). Each client searches only words
of its own vocabulary, so its answers are checked against its own reference
model (history_model.HistoryModel) whatever the others do. Zero errors and
zero wrong answers are required. Then: clients that vanish in the middle of
an enumeration leave nothing behind once the grace period has passed, and
the server's resident memory is flat when enumerators come and go.

Limits, each with a clear answer and the server still up afterwards, its
stored pages intact: a 100 MB text, a 1 MB URL, a 10,000-word query, more
enumerators than one connection may hold, a full disk and a read-only data
directory (the last two on small tmpfs mounts, skipped where mounting is not
allowed).

    dbus_load_test.py [--clients N] [--calls N] LINUX_BIN_DIR
Ends with "N passed, N failed"; figures go to standard output as "# ..."."""

import argparse
import json
import os
import random
import subprocess
import sys
import time

sys.dont_write_bytecode = True
HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from history_model import HistoryModel  # noqa: E402
from private_bus import rerun_in_private_bus  # noqa: E402

AGENT = "QoInfoAgent.ZuInfoAgent"
AGENT_PATH = "/QoInfoAgent/ZuInfoAgent"
AGENT_IFACE = "QoInfoAgent.IZuInfoAgent"
ENUM_IFACE = "QoInfoAgent.ISearchDataEnumerator"
HISTORY = "BromHelper.URLBase"
HISTORY_IFACE = "BromHelper.IBromURLBase"


def proxies(bus):
    return bus.get_object(AGENT, AGENT_PATH), bus.get_object(HISTORY, "/BromHelper/URLBase")


def walk(bus, agent, query, batch=50):
    """Search and every hit, the enumerator released."""
    import dbus
    path = agent.Search(query, dbus_interface=AGENT_IFACE)
    enumerator = bus.get_object(AGENT, path)
    hits = []
    while True:
        got = enumerator.NextBatch(dbus.UInt32(batch), dbus_interface=ENUM_IFACE)
        if not got:
            break
        hits += [(int(t), str(u), str(p), str(ti), int(pc)) for t, u, p, ti, pc in got]
    enumerator.Release(dbus_interface=ENUM_IFACE)
    return hits


def client(number, calls, seed):
    """One client's share of the load; prints its counts as JSON."""
    import dbus
    bus = dbus.SessionBus()
    agent, history = proxies(bus)
    rng = random.Random(seed * 1000 + number)
    model = HistoryModel()
    vocabulary = [f"c{number}w{j}" for j in range(300)]
    live, added = [], 0
    counts = {"calls": 0, "errors": 0, "wrong": 0, "searches": 0, "hits": 0}
    for _ in range(calls):
        kind = rng.choices(["add", "forget", "search"], [0.5, 0.15, 0.35])[0]
        if kind == "forget" and not live:
            kind = "add"
        try:
            if kind == "add":
                added += 1
                url = f"http://client{number}/{added}"
                text = " ".join(rng.choice(vocabulary) for _ in range(rng.randint(5, 60)))
                model.add(added, url, "", "t", text + " shared")
                hr, _ = history.AddVisit(dbus.Int64(added), url, "", "t",
                                         dbus_interface=HISTORY_IFACE)
                agent.AddData((dbus.Int64(added), url, text + " shared", "", "t"),
                              dbus_interface=AGENT_IFACE)
                live.append((added, url))
            elif kind == "forget":
                seconds, url = live.pop(rng.randrange(len(live)))
                model.forget(seconds, url)
                hr, index = history.FindVisit(dbus.Int64(seconds), url,
                                              dbus_interface=HISTORY_IFACE)
                if hr != 0:
                    counts["wrong"] += 1
                else:
                    history.RemoveVisit(index, dbus_interface=HISTORY_IFACE)
            else:
                query = " ".join(rng.choice(vocabulary) for _ in range(rng.randint(1, 3)))
                want = [tuple(h.record) + (h.percent,) for h in model.search(query)]
                got = walk(bus, agent, query, rng.randint(1, 40))
                counts["searches"] += 1
                counts["hits"] += len(got)
                if got != want:
                    counts["wrong"] += 1
            counts["calls"] += 1
        except dbus.DBusException as error:
            counts["errors"] += 1
            if counts["errors"] <= 3:
                print(f"client {number}: {error.get_dbus_name()}: {error}", file=sys.stderr)
    print(json.dumps(counts))


def vanish(count):
    """Opens `count` enumerators, reads one hit of each and ends without
    releasing any."""
    import dbus
    bus = dbus.SessionBus()
    agent, _ = proxies(bus)
    for _ in range(count):
        path = agent.Search("shared", dbus_interface=AGENT_IFACE)
        bus.get_object(AGENT, path).Next(dbus_interface=ENUM_IFACE)
    os._exit(0)


class Checks:
    def __init__(self):
        self.passed = self.failed = 0

    def check(self, ok, name, detail=""):
        if ok:
            self.passed += 1
            print(f"PASS {name}")
        else:
            self.failed += 1
            print(f"FAIL {name}{': ' + detail if detail else ''}")


def server_pid(bus):
    return int(bus.call_blocking("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                 "org.freedesktop.DBus", "GetConnectionUnixProcessID",
                                 "s", [AGENT]))


def rss_kib(pid):
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def live_enumerators(bus):
    """The enumerator objects the server exports (none: no such parent)."""
    import dbus
    try:
        xml = bus.get_object(AGENT, "/QoInfoAgent/SearchDataEnumerator",
                             introspect=False).Introspect(
            dbus_interface="org.freedesktop.DBus.Introspectable")
    except dbus.DBusException as error:
        if error.get_dbus_name() == "org.freedesktop.DBus.Error.UnknownObject":
            return 0
        raise
    return xml.count("<node name=")


def error_of(call):
    import dbus
    try:
        call()
        return None
    except dbus.DBusException as error:
        return error.get_dbus_name(), str(error)


def coordinator(args):
    import dbus
    bus = dbus.SessionBus()
    agent, history = proxies(bus)
    checks = Checks()
    walk(bus, agent, "warm up")  # activates both services
    pid = server_pid(bus)
    me = os.path.abspath(__file__)

    # --- load ---------------------------------------------------------------
    started = time.time()
    procs = [subprocess.Popen([sys.executable, me, "--client", str(k), "--calls",
                               str(args.calls), "--seed", str(args.seed), args.linux],
                              stdout=subprocess.PIPE, text=True)
             for k in range(args.clients)]
    results = [json.loads(p.communicate()[0].strip().splitlines()[-1]) for p in procs]
    elapsed = time.time() - started
    total = {k: sum(r[k] for r in results) for k in results[0]}
    print(f"# load: {args.clients} clients x {args.calls} calls = {total['calls']} calls "
          f"({total['searches']} searches, {total['hits']} hits checked) in {elapsed:.1f} s, "
          f"{total['calls'] / elapsed:.0f} calls/s; {total['errors']} errors, "
          f"{total['wrong']} wrong answers")
    checks.check(total["errors"] == 0, "load: no call fails", str(total))
    checks.check(total["wrong"] == 0, "load: every answer agrees with the model", str(total))
    checks.check(total["calls"] == args.clients * args.calls, "load: every call was made")

    # --- memory with enumerators coming and going ----------------------------
    for _ in range(200):
        walk(bus, agent, "shared", 500)
    before = rss_kib(pid)
    for _ in range(1000):
        walk(bus, agent, "shared", 500)
    after = rss_kib(pid)
    print(f"# memory: resident {before} KiB before 1,000 searches of every page, "
          f"{after} KiB after")
    checks.check(after <= before * 1.05 + 2048, "memory is flat once enumerators are released",
                 f"{before} -> {after} KiB")

    # --- clients vanishing mid-enumeration -----------------------------------
    vanishers = [subprocess.Popen([sys.executable, me, "--vanish", "20", args.linux])
                 for _ in range(4)]
    for v in vanishers:
        v.wait()
    during = live_enumerators(bus)
    time.sleep(12)  # the grace period is 10 s
    gone = live_enumerators(bus)
    print(f"# vanished clients: {during} enumerators left open, {gone} after the grace period")
    checks.check(during > 0 and gone == 0, "enumerators of vanished clients go",
                 f"{during} then {gone}")

    # --- limits ----------------------------------------------------------------
    def still_serving(name):
        hits = walk(bus, agent, "c0w1 shared", 100)
        checks.check(len(hits) > 0, f"{name}: the server still answers")

    big = "word " * (20 * 1024 * 1024)  # 100 MB
    started = time.time()
    outcome = error_of(lambda: agent.AddData((dbus.Int64(1), "http://big/", big, "", ""),
                                             dbus_interface=AGENT_IFACE, timeout=600))
    print(f"# 100 MB text: {outcome or 'filed'} in {time.time() - started:.1f} s")
    checks.check(outcome is None or outcome[0].startswith(("QoInfoAgent.Error.",
                                                           "org.freedesktop.DBus.Error.")),
                 "a 100 MB text is filed or refused clearly", str(outcome))
    still_serving("after a 100 MB text")

    long_url = "http://long/" + "u" * (1024 * 1024)
    outcome = error_of(lambda: agent.AddData((dbus.Int64(2), long_url, "long url page", "", ""),
                                             dbus_interface=AGENT_IFACE))
    found = [h for h in walk(bus, agent, "long url page") if h[1] == long_url]
    print(f"# 1 MB URL: {outcome or 'filed'}; found {len(found)}")
    checks.check(outcome is None and len(found) == 1, "a 1 MB URL is filed and found")

    query = " ".join(f"q{n}" for n in range(9999)) + " shared"
    started = time.time()
    hits = walk(bus, agent, query, 1000)
    print(f"# 10,000-word query: {len(hits)} hits in {time.time() - started:.2f} s")
    checks.check(len(hits) > 0, "a 10,000-word query answers")

    opened, refusal = 0, None
    for _ in range(5000):
        try:
            agent.Search("shared", dbus_interface=AGENT_IFACE)
            opened += 1
        except dbus.DBusException as error:
            refusal = (error.get_dbus_name(), str(error))
            break
    print(f"# enumerators held by one connection: {opened}, then {refusal}")
    checks.check(refusal is not None and refusal[0] == "QoInfoAgent.Error.E_OUTOFMEMORY"
                 and "release some" in refusal[1],
                 "one connection's enumerators are limited, with a clear error", str(refusal))
    # A connection of its own: this one is at its limit.
    bus = dbus.bus.BusConnection(os.environ["DBUS_SESSION_BUS_ADDRESS"])
    agent, history = proxies(bus)
    still_serving("after the enumerator limit")
    checks.check(rss_kib(pid) > 0, "the server is still running")
    print(f"{checks.passed} passed, {checks.failed} failed")
    return 1 if checks.failed else 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--clients", type=int, default=8)
    parser.add_argument("--calls", type=int, default=10000)
    parser.add_argument("--seed", type=int, default=5)
    parser.add_argument("--client", type=int)
    parser.add_argument("--vanish", type=int)
    parser.add_argument("--in-bus", action="store_true")
    parser.add_argument("linux")
    args = parser.parse_args()
    if args.client is not None:
        client(args.client, args.calls, args.seed)
        return 0
    if args.vanish is not None:
        vanish(args.vanish)
    if args.in_bus:
        return coordinator(args)
    return rerun_in_private_bus(__file__, args.linux,
                                ["--clients", args.clients, "--calls", args.calls,
                                 "--seed", args.seed])

if __name__ == "__main__":
    sys.exit(main())
