#!/usr/bin/env python3
"""The rate of `qoinfo import-history` (without --fetch) on a history made
by the bench, beside the rate of `qoinfo import` of HTML files holding as
many words a page: pages filed a second, through the server (each run on a
fresh private session bus and data directory) and embedded.

    bench/history_import_bench.py [--visits N] [--files N] [LINUX_BIN_DIR]
                                  (default 100000 visits, as many files,
                                   build/linux/bin)

The histories are in the schemas Chromium and Firefox ESR make in a new
profile (both are started once for it); N visits over N/2 addresses (each
visited twice, a day apart), titles of 2-6 words and addresses of 3-6 words
drawn from a fixed vocabulary (fixed seed). The HTML files hold a title and
a body of the words a history page's offline text has. Prints one line per
run and a Markdown table (docs/benchmarks.md)."""

import argparse
import json
import os
import random
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))
from browser_history import CHROMIUM_EPOCH_US, DATABASE, fresh_schema, make_database  # noqa: E402
from private_bus import rerun_in_private_bus  # noqa: E402

START = 1_600_000_000  # the first visit, seconds since 1970
SYLLABLES = ["ka", "lo", "mi", "ne", "ru", "ta", "vo", "shi", "ber", "dan", "gel", "hor",
             "stra", "wen", "zu", "pol"]


def vocabulary(size, rng):
    words = set()
    while len(words) < size:
        words.add("".join(rng.choice(SYLLABLES) for _ in range(rng.randint(2, 4))))
    return sorted(words)


def addresses(count, rng):
    """(URL, title) of `count` pages."""
    words = vocabulary(5000, rng)
    pick = lambda n: [rng.choice(words) for _ in range(n)]  # noqa: E731
    pages = []
    for n in range(count):
        path = "/".join(pick(rng.randint(1, 3)))
        url = f"https://{pick(1)[0]}.example/{path}/{n}?q={'+'.join(pick(rng.randint(1, 2)))}"
        pages.append((url, " ".join(pick(rng.randint(2, 6))).capitalize()))
    return pages


def make_history(browser, statements, folder, visits):
    pages = addresses(visits // 2, random.Random(20))
    base = CHROMIUM_EPOCH_US if browser == "chromium" else 0
    rows = [(url, title, base + (START + n * 60 + again * 86400) * 10**6)
            for again in (0, 1) for n, (url, title) in enumerate(pages)][:visits]
    os.makedirs(folder)
    make_database(os.path.join(folder, os.path.basename(DATABASE[browser])), statements,
                  browser, rows)


def make_files(folder, count):
    """HTML files with a history page's words: its title, and as body the
    words its address gives."""
    os.makedirs(folder)
    for n, (url, title) in enumerate(addresses(count, random.Random(21))):
        words = " ".join(url.replace("https://", "").replace("/", " ").replace("?q=", " ")
                         .replace("+", " ").replace(".", " ").split())
        with open(os.path.join(folder, f"{n}.html"), "w") as f:
            f.write(f"<!doctype html><title>{title}</title><p>{words}</p>")


def measure(linux, what, source, data=None):
    """Runs one import; (pages filed, seconds)."""
    qoinfo = os.path.join(linux, "qoinfo")
    mode = ["--embedded", "--data-dir", data] if data else ["--server"]
    command = ([qoinfo, *mode, "import-history", "--profile", source, "--json"]
               if what == "import-history" else [qoinfo, *mode, "import", "--json", source])
    start = time.perf_counter()
    done = subprocess.run(command, capture_output=True, text=True)
    seconds = time.perf_counter() - start
    summary = json.loads(done.stdout.strip().splitlines()[-1]) if done.stdout.strip() else {}
    if done.returncode != 0:
        raise RuntimeError(f"{' '.join(command)}: exit {done.returncode}: {done.stderr}")
    return summary.get("added", 0), seconds


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--visits", type=int, default=100000)
    parser.add_argument("--files", type=int, help="default: as many as visits")
    parser.add_argument("--in-bus", nargs=3, metavar=("WHAT", "SOURCE", "RESULTS"))
    parser.add_argument("linux", nargs="?", default=os.path.join(HERE, "..", "build", "linux",
                                                                  "bin"))
    args = parser.parse_args()
    linux = os.path.abspath(args.linux)
    if args.in_bus:  # one run through the server of a private bus
        what, source, results = args.in_bus
        pages, seconds = measure(linux, what, source)
        with open(results, "a") as f:
            f.write(json.dumps([what, source, "server", pages, seconds]) + "\n")
        return 0

    with tempfile.TemporaryDirectory() as work:
        sources = []
        for browser, program in (("chromium", "chromium"), ("firefox", "firefox-esr")):
            log = open(os.path.join(work, f"{browser}.log"), "w")
            statements = fresh_schema(browser, program, os.path.join(work, f"new-{browser}"), log)
            folder = os.path.join(work, browser)
            make_history(browser, statements, folder, args.visits)
            sources.append(("import-history", folder, f"import-history, {browser}"))
        files = os.path.join(work, "files")
        make_files(files, args.files or args.visits)
        sources.append(("import", files, "import of HTML files"))

        results = os.path.join(work, "results.jsonl")
        rows = []
        for what, source, label in sources:
            # The server: a fresh bus, services and data directory per run.
            status = rerun_in_private_bus(os.path.abspath(__file__), linux,
                                          [what, source, results])
            if status != 0:
                print(f"{label}, through the server: failed ({status})", file=sys.stderr)
                return 1
            with open(results) as f:
                _, _, _, pages, seconds = json.loads(f.readlines()[-1])
            rows.append((label, "server", pages, seconds))
            with tempfile.TemporaryDirectory() as data:
                pages, seconds = measure(linux, what, source, data)
            rows.append((label, "embedded", pages, seconds))
            for row in rows[-2:]:
                print(f"{row[0]}, {row[1]}: {row[2]} pages in {row[3]:.1f} s", file=sys.stderr)
    print("| what | agent | pages | seconds | pages/s |")
    print("|---|---|---:|---:|---:|")
    for label, agent, pages, seconds in rows:
        print(f"| {label} | {agent} | {pages:,} | {seconds:.1f} | {pages / seconds:,.0f} |")
    return 0


if __name__ == "__main__":
    sys.exit(main())
