#!/usr/bin/env python3
"""Start-up and memory of the real Linux server: how long from the first
call of a session until the agent answers it, and what the server holds
once it has searched.

    bench/server_start.py INDEX_DIR [--bin build/linux/bin] [--runs 3]
        [--cold-runs 0] [--cold-by drop|evict] [--work DIR] [--pages N]
        [--queries FILE | --query TEXT ...] [--per-kind 5]

INDEX_DIR holds the index files ("1.hcpa", "2.hcpb", and "index.image" when
there is one): what `qoinfo-bench --keep` leaves in its work folder
(ours-<pages>, with the benchmark's queries in queries.tsv), or a data
directory. They are hard-linked (copied when they cannot be: the image then
no longer matches them) into a new data directory under --work, beside an
empty history, and served by the build's qoinfoagent and bromhelper on a
private session bus set up as the tests do (tests/e2e/dbus_bus.sh).

Each run: no server is running; after the runs with the page cache as it
is come --empty-runs runs with the index files set aside (renamed, and back
after the run): what a start of the servers costs by itself; then runs
with a dropped page cache (cold runs:
`--cold-by drop` writes 3 to /proc/sys/vm/drop_caches, root only, the
default for root; `evict` drops only the index files' and the servers'
pages, which leaves other work on the machine alone) or not; a plain read
of the pair "1.hcpa"/"2.hcpb" in the same state of the cache, and the cache
put back in that state (or, for a warm run, the image and the servers'
programs read too, so that all of them are in the cache). Then the first call: Search of the first query, its
first page (NextBatch(20)) and Release, which the bus answers by starting
the agent (and the agent the history): "first answer". Then the first page
of --per-kind queries of each class, then the server's /proc/PID/status
(RssAnon, RssFile, VmHWM) and whether the image is mapped (/proc/PID/maps).
Then both servers are stopped (SIGTERM) and waited for. One JSON line a
run on standard output, "kind": "server_start"; bench/report.py folds them
into its table "Start-up and memory"."""

import argparse
import json
import os
import re
import shlex
import signal
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
E2E = os.path.join(HERE, "..", "tests", "e2e")

AGENT = "QoInfoAgent.ZuInfoAgent"
AGENT_PATH = "/QoInfoAgent/ZuInfoAgent"
AGENT_IFACE = "QoInfoAgent.IZuInfoAgent"
ENUM_IFACE = "QoInfoAgent.ISearchDataEnumerator"
HISTORY = "BromHelper.URLBase"
PAIR = ["1.hcpa", "2.hcpb"]
IMAGE = "index.image"
# A load of a million pages from a cold disk takes minutes, not the
# library's 25 s.
CALL_TIMEOUT = 3600.0


def file_bytes(folder, names):
    return sum(os.path.getsize(os.path.join(folder, n)) for n in names
               if os.path.exists(os.path.join(folder, n)))


def plain_read_seconds(paths):
    """Reads the files through, as a copy out of the cache would."""
    buffer = bytearray(1 << 20)
    start = time.perf_counter()
    for path in paths:
        with open(path, "rb", buffering=0) as f:
            while f.readinto(buffer):
                pass
    return time.perf_counter() - start


def drop_cache(how, paths):
    """Leaves the page cache without `paths` (every file, for "drop")."""
    if how == "drop":
        os.sync()
        with open("/proc/sys/vm/drop_caches", "w") as control:
            control.write("3\n")
        return
    for path in paths:
        fd = os.open(path, os.O_RDONLY)
        try:
            os.fsync(fd)
            os.posix_fadvise(fd, 0, 0, os.POSIX_FADV_DONTNEED)
        finally:
            os.close(fd)


def process_status(pid):
    """Bytes of the RssAnon, RssFile, RssShmem, VmRSS and VmHWM lines."""
    wanted = {"RssAnon": "rss_anon_bytes", "RssFile": "rss_file_bytes",
              "RssShmem": "rss_shmem_bytes", "VmRSS": "rss_bytes",
              "VmHWM": "peak_rss_bytes"}
    out = {}
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            key, _, value = line.partition(":")
            if key in wanted:
                out[wanted[key]] = int(value.split()[0]) * 1024
    return out


def maps_file(pid, name):
    with open(f"/proc/{pid}/maps") as maps:
        return any(line.rstrip("\n").endswith("/" + name) for line in maps)


def alive(pid):
    """True while `pid` runs (a zombie left for its parent counts as ended)."""
    try:
        with open(f"/proc/{pid}/stat") as stat:
            return stat.read().rsplit(")", 1)[1].split()[0] != "Z"
    except FileNotFoundError:
        return False


def read_queries(args):
    if args.query:
        return [("given", q) for q in args.query]
    path = args.queries or os.path.join(args.index, "queries.tsv")
    if not os.path.exists(path):
        sys.exit(f"server_start: no queries: {path} is missing (--query TEXT gives one)")
    queries = []
    with open(path, encoding="utf-8") as f:
        for line in f:
            kind, _, text = line.rstrip("\n").partition("\t")
            if text:
                queries.append((kind, text))
    return queries


# --- inside the private bus ---------------------------------------------------

def first_page(bus, agent, query):
    import dbus
    path = agent.Search(query, dbus_interface=AGENT_IFACE, timeout=CALL_TIMEOUT)
    enumerator = bus.get_object(AGENT, path, introspect=False)
    hits = enumerator.NextBatch(dbus.UInt32(20), dbus_interface=ENUM_IFACE,
                                timeout=CALL_TIMEOUT)
    enumerator.Release(dbus_interface=ENUM_IFACE)
    return len(hits)


def owner_pid(bus, name):
    return int(bus.call_blocking("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                 "org.freedesktop.DBus", "GetConnectionUnixProcessID",
                                 "s", [name]))


def has_owner(bus, name):
    return bool(bus.call_blocking("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                  "org.freedesktop.DBus", "NameHasOwner", "s", [name]))


def stop(bus, pids):
    """SIGTERM to each server, then waits for all of them; the seconds."""
    start = time.perf_counter()
    for pid in pids:
        os.kill(pid, signal.SIGTERM)
    deadline = start + 600
    while any(alive(pid) for pid in pids) or any(has_owner(bus, n) for n in (AGENT, HISTORY)):
        if time.perf_counter() > deadline:
            sys.exit("server_start: the servers did not end within 600 s")
        time.sleep(0.02)
    return time.perf_counter() - start


def one_run(bus, args, queries, cold):
    """One start; `cold` is None (the cache as it is), "drop", "evict", or
    "empty" (the index files set aside: what a start costs without them)."""
    data = args.data
    if cold == "empty":
        aside = os.path.join(os.path.dirname(data), "aside")
        os.makedirs(aside, exist_ok=True)
        names = [n for n in PAIR + [IMAGE] if os.path.exists(os.path.join(data, n))]
        for name in names:
            os.rename(os.path.join(data, name), os.path.join(aside, name))
        try:
            return one_run_in(bus, args, queries, cold)
        finally:
            # The servers save a new, empty index at their end: it goes.
            for name in PAIR + [IMAGE]:
                if name in names:
                    os.replace(os.path.join(aside, name), os.path.join(data, name))
                elif os.path.exists(os.path.join(data, name)):
                    os.remove(os.path.join(data, name))
    return one_run_in(bus, args, queries, cold)


def one_run_in(bus, args, queries, cold):
    data = args.data
    pair = [os.path.join(data, n) for n in PAIR if os.path.exists(os.path.join(data, n))]
    ours = pair + [os.path.join(data, n) for n in (IMAGE,) if os.path.exists(os.path.join(data, n))]
    servers = [os.path.join(args.linux, n) for n in ("qoinfoagent", "bromhelper")]
    row = {"kind": "server_start", "pages": args.pages,
           "cache": {None: "warm", "drop": "dropped", "evict": "evicted",
                     "empty": "warm, no index"}[cold],
           "index_files_bytes": file_bytes(data, PAIR), "image_bytes": file_bytes(data, [IMAGE])}
    dropping = cold in ("drop", "evict")
    if dropping:
        drop_cache(cold, ours + servers)
    row["plain_read_seconds"] = plain_read_seconds(pair)
    if dropping:
        drop_cache(cold, ours + servers)
    else:
        # Warm means warm: the image and the programs are in the cache too.
        plain_read_seconds(ours + servers)

    agent = bus.get_object(AGENT, AGENT_PATH, introspect=False)
    kind, text = queries[0]
    start = time.perf_counter()
    first_page(bus, agent, text)
    row["first_answer_seconds"] = time.perf_counter() - start
    row["first_query"] = kind
    pid, history = owner_pid(bus, AGENT), owner_pid(bus, HISTORY)

    searches = {}
    for kind, text in queries:
        times = searches.setdefault(kind, [])
        if len(times) < args.per_kind:
            start = time.perf_counter()
            first_page(bus, agent, text)
            times.append((time.perf_counter() - start) * 1e3)
    row["first_page_max_ms"] = {k: max(v) for k, v in searches.items()}
    row.update(process_status(pid))
    row["image_mapped"] = maps_file(pid, IMAGE)
    row["history_rss_anon_bytes"] = process_status(history).get("rss_anon_bytes", 0)
    row["stop_seconds"] = stop(bus, [pid, history])
    return row


def inside(args):
    import dbus
    bus = dbus.SessionBus()
    queries = read_queries(args)
    plan = [None] * args.runs + ["empty"] * args.empty_runs + [args.cold_by] * args.cold_runs
    for number, cold in enumerate(plan):
        if has_owner(bus, AGENT) or has_owner(bus, HISTORY):
            sys.exit("server_start: a server still runs before a start")
        row = one_run(bus, args, queries, cold)
        row["run"] = number
        print(json.dumps(row), flush=True)
        print(f"server_start: run {number} ({row['cache']}): first answer "
              f"{row['first_answer_seconds']:.3f} s, RssAnon "
              f"{row.get('rss_anon_bytes', 0) / 1e6:.1f} MB, image "
              f"{'mapped' if row['image_mapped'] else 'not mapped'}", file=sys.stderr)
    return 0


# --- outside: the data directory and the bus ----------------------------------

def lay_out(index, data):
    """Hard links (or copies) of the index files in the new `data`."""
    os.makedirs(data, mode=0o700)
    names = [n for n in PAIR + [IMAGE] if os.path.exists(os.path.join(index, n))]
    if not all(n in names for n in PAIR):
        sys.exit(f"server_start: {index} holds no 1.hcpa and 2.hcpb")
    for name in names:
        source, target = os.path.join(index, name), os.path.join(data, name)
        try:
            os.link(source, target)
        except OSError:
            # Another file system: a copy is another file, which the image
            # does not name; the agent then loads the pair.
            subprocess.run(["cp", "--preserve=timestamps,mode", source, target], check=True)
            print(f"server_start: {name} copied, not linked", file=sys.stderr)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("index", help="folder with 1.hcpa, 2.hcpb (and index.image)")
    parser.add_argument("--bin", default="build/linux/bin", help="the Linux build's bin folder")
    parser.add_argument("--runs", type=int, default=3, help="runs with the page cache as it is")
    parser.add_argument("--cold-runs", type=int, default=0, help="runs with the page cache dropped")
    parser.add_argument("--empty-runs", type=int, default=1,
                        help="runs without the index files: what a start costs by itself")
    parser.add_argument("--cold-by", choices=["drop", "evict"],
                        default="drop" if os.geteuid() == 0 else "evict")
    parser.add_argument("--work", help="a new folder for the bus and the data (default: temporary)")
    parser.add_argument("--pages", type=int, help="the index's pages, for the report "
                        "(default: from a folder named ours-<pages>)")
    parser.add_argument("--queries", help="kind<TAB>query lines (default INDEX_DIR/queries.tsv)")
    parser.add_argument("--query", action="append", help="a query (instead of a file)")
    parser.add_argument("--per-kind", type=int, default=5, help="searches of each class a run")
    parser.add_argument("--in-bus", action="store_true", help=argparse.SUPPRESS)
    parser.add_argument("--data", help=argparse.SUPPRESS)
    parser.add_argument("--linux", help=argparse.SUPPRESS)
    args = parser.parse_args()
    args.index = os.path.abspath(args.index)
    if args.pages is None:
        found = re.search(r"-(\d+)$", args.index.rstrip("/"))
        args.pages = int(found.group(1)) if found else 0
    if args.in_bus:
        return inside(args)
    read_queries(args)  # refused here, before anything is laid out
    if args.cold_runs and args.cold_by == "drop" and os.geteuid() != 0:
        sys.exit("server_start: --cold-by drop needs root")

    linux = os.path.abspath(args.bin)
    with tempfile.TemporaryDirectory() as temporary:
        work = os.path.abspath(args.work) if args.work else temporary
        if os.path.exists(os.path.join(work, "data")):
            sys.exit(f"server_start: {work}/data exists already")
        os.makedirs(work, exist_ok=True)
        lay_out(args.index, os.path.join(work, "data"))
        command = (
            f"work={shlex.quote(work)}; linux={shlex.quote(linux)}; "
            f'source "{E2E}/dbus_bus.sh"; dbus_setup >/dev/null; '
            f"in_bus /usr/bin/python3 {shlex.quote(os.path.abspath(__file__))} --in-bus "
            f"--data \"$data\" --linux \"$linux\" --pages {args.pages} "
            f"--runs {args.runs} --empty-runs {args.empty_runs} --cold-runs {args.cold_runs} --cold-by {args.cold_by} "
            f"--per-kind {args.per_kind} "
            + (f"--queries {shlex.quote(os.path.abspath(args.queries))} " if args.queries else "")
            + "".join(f"--query {shlex.quote(q)} " for q in args.query or [])
            + f"{shlex.quote(args.index)}; status=$?; wait_services_end; exit $status")
        return subprocess.run(["bash", "-c", command], stdin=subprocess.DEVNULL).returncode


if __name__ == "__main__":
    sys.exit(main())
