#!/usr/bin/env python3
"""Random add/forget/search sequences through Python's D-Bus bindings
against the reference model (history_model.HistoryModel), on a private
session bus with the server under test. A visit is added the way
`qoinfo add` adds it: AddVisit at the history, AddData at the agent when
the visit is new or its page is not indexed; forgotten with FindVisit and
RemoveVisit, the agent hearing the removal; searched with Search and
NextBatch (or Next) in random batch sizes; searched with QoInfoAgent.IFind's
Find (quoted phrases, --prefix) against the model's brute-force Find, each
hit's snippet from Snippets marking only the query's words. Half way the
server is stopped
with SIGTERM and started again by the next call: the index it saved must
answer the same.

    dbus_random_test.py [--commands N] [--seed S ...] LINUX_BIN_DIR
Several seeds run one after the other on the same bus and data.
Ends with "N passed, N failed"."""

import argparse
import os
import random
import signal
import subprocess
import sys
import time

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from history_model import (HistoryModel, check_snippet, extract_words,  # noqa: E402
                           read_find_query, text_words)
from private_bus import rerun_in_private_bus  # noqa: E402
from random_commands_test import Generator, TIMES, URLS, TITLES, PATHS  # noqa: E402

AGENT = "QoInfoAgent.ZuInfoAgent"
AGENT_IFACE = "QoInfoAgent.IZuInfoAgent"
ENUM_IFACE = "QoInfoAgent.ISearchDataEnumerator"
FIND_IFACE = "QoInfoAgent.IFind"
HISTORY = "BromHelper.URLBase"
HISTORY_IFACE = "BromHelper.IBromURLBase"


# The seeds, each a run of --commands / len(SEEDS) commands on the history
# the runs before it left.
SEEDS = [11, 1009, 65537]


def client(args):
    import dbus
    bus = dbus.SessionBus()
    rng = random.Random()
    model = HistoryModel()
    generator = None
    failures = []
    counts = {"finds": 0, "hits": 0, "marks": 0}

    def agent():
        return bus.get_object(AGENT, "/QoInfoAgent/ZuInfoAgent")

    def history():
        return bus.get_object(HISTORY, "/BromHelper/URLBase")

    def add():
        seconds, url = generator.visit(0.25)
        title, path = rng.choice(TITLES), rng.choice(PATHS)
        text = generator.text()
        want = model.add(seconds, url, path, title, text)
        hr, index = history().AddVisit(dbus.Int64(seconds), url, path, title,
                                        dbus_interface=HISTORY_IFACE)
        new = hr == 0
        indexed = new or not agent().HasPage(
            dbus.Int64(seconds), url, dbus_interface="QoInfoAgent.IIndexInfo")
        if indexed:
            agent().AddData((dbus.Int64(seconds), url, text, path, title),
                            dbus_interface=AGENT_IFACE)
        return (int(index), new, indexed), want

    def forget():
        seconds, url = generator.visit(0.7)
        want = model.forget(seconds, url)
        hr, index = history().FindVisit(dbus.Int64(seconds), url,
                                        dbus_interface=HISTORY_IFACE)
        if hr != 0:
            return None, want
        history().RemoveVisit(index, dbus_interface=HISTORY_IFACE)
        return int(index), want

    def search():
        words = [generator.word() for _ in range(rng.randint(1, 3))]
        if rng.random() < 0.3 and model.words:
            words.append(rng.choice(sorted(model.words, key=repr)))
        query = " ".join(words) if rng.random() > 0.03 else ""
        hits = model.search(query)
        want = None if hits is None else [
            tuple(h.record) + (h.percent,) for h in hits]
        try:
            path = agent().Search(query, dbus_interface=AGENT_IFACE)
        except dbus.DBusException as error:
            return error.get_dbus_name(), want
        return read_hits(path), want

    def find():
        args = generator.find(["search"]).args
        prefix = "--prefix" in args
        query = " ".join(a for a in args[1:] if a != "--prefix")
        hits = model.find(query, prefix)
        want = [tuple(h.record) + (h.percent,) for h in hits]
        path = agent().Find(query, dbus.UInt32(1 if prefix else 0), dbus_interface=FIND_IFACE)
        got = read_hits(path)
        counts["finds"] += 1
        counts["hits"] += len(got)
        if got != want or not got:
            return got, want
        snippets = agent().Snippets(query, dbus.UInt32(1 if prefix else 0),
                                    [(dbus.Int64(h[0]), h[1]) for h in got],
                                    dbus_interface=FIND_IFACE)
        words, begins = set(extract_words(query)), read_find_query(query, prefix)[1]
        for hit, (kept, text, marks, before, after) in zip(got, snippets):
            problem = None
            if bool(kept) != (hit[:2] in model.texts):
                problem = f"kept {bool(kept)}"
            elif kept and text_words(model.texts[hit[:2]]) and not str(text):
                problem = "no passage"
            else:
                counts["marks"] += len(marks)
                problem = check_snippet({"text": str(text), "marks": [
                    (int(b), int(n)) for b, n in marks]}, words, begins)
            if problem:
                return f"{hit[1]}: {problem}: {str(text)!r} {list(marks)}", None
        return got, want

    def read_hits(path):
        enumerator = bus.get_object(AGENT, path)
        got = []
        while True:
            if rng.random() < 0.2:
                hr, hit = enumerator.Next(dbus_interface=ENUM_IFACE)
                if hr != 0:
                    break
                batch = [hit]
            else:
                batch = enumerator.NextBatch(dbus.UInt32(rng.randint(1, 7)),
                                             dbus_interface=ENUM_IFACE)
                if not batch:
                    break
            got += [(int(t), str(u), str(p), str(ti), int(pc))
                    for t, u, p, ti, pc in batch]
        enumerator.Release(dbus_interface=ENUM_IFACE)
        return got

    def restart():
        pid = bus.call_blocking("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                "org.freedesktop.DBus",
                                "GetConnectionUnixProcessID", "s", [AGENT])
        os.kill(pid, signal.SIGTERM)
        while True:
            try:
                os.kill(pid, 0)
                time.sleep(0.05)
            except ProcessLookupError:
                break

    seeds = args.seed or SEEDS
    for step in range(args.commands):
        if step * len(seeds) % args.commands < len(seeds):
            # The next seed's run.
            rng.seed(seeds[step * len(seeds) // args.commands])
            generator = Generator(rng, model)
        if step == args.commands // 2:
            restart()
        kind = rng.choices(["add", "forget", "search", "find"], [0.5, 0.15, 0.25, 0.1])[0]
        got, want = {"add": add, "forget": forget, "search": search, "find": find}[kind]()
        if kind == "search" and want is None:
            want = "QoInfoAgent.Error.E_INVALIDARG"
        if got != want:
            failures.append(f"step {step} {kind}: got {got!r}, want {want!r}")
    print(f"# {counts['finds']} finds, {counts['hits']} hits compared, "
          f"{counts['marks']} marked words checked")
    passed = args.commands - len(failures)
    for failure in failures[:20]:
        print("FAIL", failure)
    print(f"{passed} passed, {len(failures)} failed")
    return 1 if failures else 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--commands", type=int, default=2000)
    parser.add_argument("--seed", type=int, action="append",
                        help="a seed to run instead of the table (repeatable)")
    parser.add_argument("--in-bus", action="store_true")
    parser.add_argument("linux")
    args = parser.parse_args()
    if args.in_bus:
        return client(args)
    seeds = [x for seed in args.seed or [] for x in ("--seed", seed)]
    return rerun_in_private_bus(__file__, args.linux,
                                ["--commands", args.commands] + seeds)

if __name__ == "__main__":
    sys.exit(main())
