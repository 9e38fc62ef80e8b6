#!/usr/bin/env python3
"""Round trips to the Linux server on a private session bus, against the
embedded agent and a bare D-Bus call: medians in microseconds.

    bench/dbus_round_trips.py [LINUX_BIN_DIR]   (default build/linux/bin)

Through one kept Python connection (python3-dbus): Peer.Ping of the agent,
AddData of a 2 KB page, Search + NextBatch(100) + Release of a query with
100 hits. Through busctl (a process and a connection per call): Peer.Ping
and AddData. Through qoinfo: a batch of 500 adds, per add, embedded and
through the server."""

import json
import os
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
E2E = os.path.join(HERE, "..", "tests", "e2e")


def median_us(run, times):
    samples = []
    for _ in range(times):
        start = time.perf_counter()
        run()
        samples.append((time.perf_counter() - start) * 1e6)
    return statistics.median(samples)


def inside(linux):
    import dbus
    bus = dbus.SessionBus()
    agent = bus.get_object("QoInfoAgent.ZuInfoAgent", "/QoInfoAgent/ZuInfoAgent")
    iface = "QoInfoAgent.IZuInfoAgent"
    text = " ".join(f"word{n % 300}" for n in range(300))  # about 2 KB
    results = {}
    agent.Ping(dbus_interface="org.freedesktop.DBus.Peer")
    results["python: Peer.Ping"] = median_us(
        lambda: agent.Ping(dbus_interface="org.freedesktop.DBus.Peer"), 2000)
    counter = iter(range(10**9))
    results["python: AddData (2 KB page)"] = median_us(
        lambda: agent.AddData((next(counter), f"http://bench/{next(counter)}",
                               text, "", "t"), dbus_interface=iface), 2000)

    for n in range(100):
        agent.AddData((n, f"http://hits/{n}", "needle", "", ""),
                      dbus_interface=iface)

    def search():
        path = agent.Search("needle", dbus_interface=iface)
        enumerator = bus.get_object("QoInfoAgent.ZuInfoAgent", path)
        enum_iface = "QoInfoAgent.ISearchDataEnumerator"
        hits = enumerator.NextBatch(dbus.UInt32(100), dbus_interface=enum_iface)
        assert len(hits) == 100
        enumerator.Release(dbus_interface=enum_iface)
    results["python: Search + NextBatch(100) + Release"] = median_us(search, 500)

    def busctl(*args):
        subprocess.run(["busctl", "--user", "call", "QoInfoAgent.ZuInfoAgent",
                        "/QoInfoAgent/ZuInfoAgent", *args], check=True,
                       stdout=subprocess.DEVNULL)
    results["busctl: Peer.Ping"] = median_us(
        lambda: busctl("org.freedesktop.DBus.Peer", "Ping"), 200)
    results["busctl: AddData"] = median_us(
        lambda: busctl(iface, "AddData", "(xssss)", str(next(counter)),
                       "http://busctl", "a small page", "", ""), 200)

    def qoinfo_batch(mode, data):
        lines = "".join(json.dumps(["add", "--time", str(n), "--url",
                                    f"http://q/{n}", "--text", text]) + "\n"
                        for n in range(500))
        args = [os.path.join(linux, "qoinfo"), mode]
        if data:
            args += ["--data-dir", data]
        start = time.perf_counter()
        subprocess.run(args + ["batch"], input=lines.encode(), check=True,
                       stdout=subprocess.DEVNULL)
        return (time.perf_counter() - start) * 1e6 / 500
    with tempfile.TemporaryDirectory() as data:
        results["qoinfo batch, per add: embedded"] = qoinfo_batch("--embedded", data)
    results["qoinfo batch, per add: through the server"] = qoinfo_batch("--server", None)
    for name, value in results.items():
        print(f"{name:48s} {value:9.0f} us")


def main():
    if len(sys.argv) > 1 and sys.argv[1] == "--in-bus":
        return inside(sys.argv[2])
    linux = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build/linux/bin")
    with tempfile.TemporaryDirectory() as work:
        script = (f'work={work}; linux={linux}; source "{E2E}/dbus_bus.sh"; '
                  f'dbus_setup; in_bus /usr/bin/python3 "{os.path.abspath(__file__)}" '
                  f'--in-bus "{linux}" 2>/dev/null; status=$?; wait_services_end; '
                  f'exit $status')
        return subprocess.run(["bash", "-c", script]).returncode


if __name__ == "__main__":
    sys.exit(main())
