#!/usr/bin/env python3
"""Turns qoinfo-bench's JSON lines into the Markdown tables of
docs/benchmarks.md. Usage: report.py results.jsonl"""
import json
import sys

KINDS = ["rare", "common", "two", "three"]


def mb(n):
    return f"{n / 1e6:.1f}"


def fmt(ratio):
    return f"{ratio:.1f}" if ratio >= 1 else f"{ratio:.2f}" if ratio >= 0.01 else f"{ratio:.3f}"


def ms(x):
    return f"{x:.3f}" if x < 10 else f"{x:.1f}"


def main():
    rows = [json.loads(line) for line in open(sys.argv[1]) if line.strip()]
    print("### Indexing, size and memory\n")
    print("| pages | engine | pages/s | index s | on disk MB | save s | load s | reload same hits | index RSS MB | peak RSS MB | bytes/posting |")
    print("|---:|---|---:|---:|---:|---:|---:|---|---:|---:|---:|")
    # Every engine files the same postings; ours counts them.
    postings = {r["pages"]: r.get("postings", 0) for r in rows if r["engine"] == "ours"}
    for r in rows:
        same = {True: "yes", False: "NO"}.get(r.get("reload_matches"), "")
        p = postings.get(r["pages"], 0)
        per = f"{r['index_rss_bytes'] / p:.1f}" if p else ""
        print(f"| {r['pages']:,} | {r['engine']} | {r['pages_per_second']:,.0f} | "
              f"{r['index_seconds']:.1f} | {mb(r['disk_bytes'])} | {r['save_seconds']:.2f} | "
              f"{r['load_seconds']:.2f} | {same} | {mb(r['index_rss_bytes'])} | {mb(r['peak_rss_bytes'])} | {per} |")
    print("\n### Our files against a plain file of the same bytes, and forgetting a page\n")
    print("| pages | postings | save s | plain write+fsync s | load s | plain read s | forget p50 / p99 ms |")
    print("|---:|---:|---:|---:|---:|---:|---:|")
    for r in rows:
        if r["engine"] != "ours" or "postings" not in r:
            continue
        print(f"| {r['pages']:,} | {r['postings']:,} | {r['save_seconds']:.2f} | "
              f"{r['plain_write_seconds']:.2f} | {r['load_seconds']:.2f} | "
              f"{r['plain_read_seconds']:.2f} | {ms(r['forget_p50_ms'])} / {ms(r['forget_p99_ms'])} |")
    print("\n### Query latency, milliseconds (p50 / p99)\n")
    print("First page = the best 20 hits; all = every hit enumerated.\n")
    header = "| pages | engine | " + " | ".join(
        f"{k} first | {k} all | {k} hits" for k in KINDS) + " |"
    print(header)
    print("|---:|---|" + "---:|" * (3 * len(KINDS)))
    for r in rows:
        cells = []
        for k in KINDS:
            q = r["queries"].get(k)
            if not q:
                cells += ["", "", ""]
                continue
            cells.append(f"{ms(q['first_p50_ms'])} / {ms(q['first_p99_ms'])}")
            cells.append(f"{ms(q['all_p50_ms'])} / {ms(q['all_p99_ms'])}")
            cells.append(f"{q['hits_p50']:,.0f}")
        print(f"| {r['pages']:,} | {r['engine']} | " + " | ".join(cells) + " |")

    print("\n### Ratios: peer time / our time (above 1: we are faster)\n")
    print("| pages | peer | index | rare first | common first | two first | three first | common all | common first p99 |")
    print("|---:|---|---:|---:|---:|---:|---:|---:|---:|")
    ours = {r["pages"]: r for r in rows if r["engine"] == "ours"}
    for r in rows:
        o = ours.get(r["pages"])
        if r["engine"] == "ours" or not o:
            continue
        def ratio(kind, key):
            a, b = r["queries"].get(kind, {}).get(key), o["queries"].get(kind, {}).get(key)
            return fmt(a / b) if a and b else ""
        print(f"| {r['pages']:,} | {r['engine']} | {fmt(r['index_seconds'] / o['index_seconds'])} | "
              f"{ratio('rare', 'first_p50_ms')} | {ratio('common', 'first_p50_ms')} | "
              f"{ratio('two', 'first_p50_ms')} | {ratio('three', 'first_p50_ms')} | "
              f"{ratio('common', 'all_p50_ms')} | {ratio('common', 'first_p99_ms')} |")


if __name__ == "__main__":
    main()
