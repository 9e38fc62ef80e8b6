#!/usr/bin/env python3
"""Turns qoinfo-bench's JSON lines, and bench/server_start.py's ("kind":
"server_start"), into the Markdown tables of docs/benchmarks.md.
Usage: report.py results.jsonl"""
import json
import statistics
import sys

KINDS = ["rare", "common", "two", "three"]


def mb(n):
    return f"{n / 1e6:.1f}"


def fmt(ratio):
    return f"{ratio:.1f}" if ratio >= 1 else f"{ratio:.2f}" if ratio >= 0.01 else f"{ratio:.3f}"


def ms(x):
    return f"{x:.3f}" if x < 10 else f"{x:.1f}"


def opt(r, key, show):
    """A cell of an optional key: rows of older runs lack it."""
    return show(r[key]) if key in r else ""


def start_up(rows, starts):
    """The table of bench/server_start.py's runs: one row a size and state
    of the page cache, medians over the runs."""
    print("### Start-up and memory\n")
    print("First answer: from the first call of a session (the bus starts the agent, "
          "the agent the history) to the first page of a search. Plain read: the "
          "pair 1.hcpa/2.hcpb read through, in the same state of the page cache. "
          "Next searches: the first page of a few queries of each class after the "
          "first answer, the slowest. "
          "Memory: the server's own after a search's first page in each class, "
          "medians of the runs. \"warm, no index\": the same start with the index "
          "files set aside, what starting the two servers costs by itself.\n")
    print("| pages | page cache | runs | image used | first answer s | plain read s | "
          "answer / read | next searches, slowest ms | RssAnon MB | RssFile MB | "
          "index files MB | image MB | RssAnon / files | Xapian RSS MB | RssAnon / Xapian |")
    print("|---:|---|---:|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|")
    xapian = {r["pages"]: r for r in rows if r["engine"] == "xapian"}
    groups = {}
    for s in starts:
        groups.setdefault((s["pages"], s["cache"]), []).append(s)
    order = ["warm", "warm, no index", "dropped", "evicted"]
    for (pages, cache), runs in sorted(groups.items(), key=lambda g: (g[0][0], order.index(g[0][1]))):
        def med(key):
            return statistics.median(r[key] for r in runs)
        answer, read, anon = med("first_answer_seconds"), med("plain_read_seconds"), med("rss_anon_bytes")
        files = runs[0]["index_files_bytes"]
        used = sum(1 for r in runs if r["image_mapped"])
        x = xapian.get(pages, {}).get("index_rss_bytes")
        answers = sorted(r["first_answer_seconds"] for r in runs)
        spread = f" ({answers[0]:.2f}–{answers[-1]:.2f})" if len(runs) > 1 else ""
        image = "" if not files else "yes" if used == len(runs) else f"{used} of {len(runs)}"
        print(f"| {pages:,} | {cache} | {len(runs)} | {image} | "
              f"{answer:.2f}{spread} | {read:.2f} | {fmt(answer / read) if files else ''} | "
              f"{ms(statistics.median(max(r['first_page_max_ms'].values()) for r in runs))} | "
              f"{mb(anon)} | {mb(med('rss_file_bytes'))} | {mb(files)} | "
              f"{mb(runs[0]['image_bytes'])} | {f'{anon / files:.3f}' if files else ''} | "
              f"{mb(x) if x else ''} | {fmt(anon / x) if x else ''} |")
    print()
    # The targets, from the runs with the page cache as it was.
    ours = {r["pages"]: r for r in rows if r["engine"] == "ours"}
    checks = []
    for (pages, cache), runs in sorted(groups.items()):
        if cache != "warm":
            continue
        answer = statistics.median(r["first_answer_seconds"] for r in runs)
        anon = statistics.median(r["rss_anon_bytes"] for r in runs)
        read = ours.get(pages, {}).get("plain_read_seconds") or statistics.median(
            r["plain_read_seconds"] for r in runs)
        files = runs[0]["index_files_bytes"]
        x = xapian.get(pages, {}).get("index_rss_bytes")
        yes = {True: "yes", False: "no"}
        checks.append(f"| {pages:,} | first answer, page cache warm | at most 2x a plain read "
                      f"({2 * read:.2f} s) | {answer:.2f} s | {yes[answer <= 2 * read]} |")
        checks.append(f"| {pages:,} | server's RssAnon after searching | at most a tenth of "
                      f"the index files ({mb(files / 10)} MB) | {mb(anon)} MB | "
                      f"{yes[anon <= files / 10]} |")
        if x:
            checks.append(f"| {pages:,} | server's RssAnon after searching | at most 2x "
                          f"Xapian's ({mb(2 * x)} MB) | {mb(anon)} MB | {yes[anon <= 2 * x]} |")
    checks += image_costs(rows)
    if checks:
        print("Against the targets. Plain read: qoinfo-bench's of the same size "
              "when present. The image's costs against the same run: the pair's "
              "save alone is today's save, and \"ours, in memory\" today's "
              "searches.\n")
        print("| pages | measure | target | now | met |")
        print("|---:|---|---|---:|---|")
        print("\n".join(checks))
        print()


def image_costs(rows):
    """Target rows for what the image costs beside today's way, from the
    same run of qoinfo-bench: the save, and the first page's p99."""
    yes = {True: "yes", False: "no"}
    checks = []
    for r in rows:
        if r["engine"] != "ours" or "files_save_seconds" not in r:
            continue
        pages, pair = r["pages"], r["files_save_seconds"]
        checks.append(f"| {pages:,} | save, the pair and the image | at most 1.5x the pair's "
                      f"({1.5 * pair:.2f} s) | {r['save_seconds']:.2f} s | "
                      f"{yes[r['save_seconds'] <= 1.5 * pair]} |")
        for k in KINDS:
            a, b = r["queries"].get(k), r.get("memory_queries", {}).get(k)
            if a and b:
                checks.append(f"| {pages:,} | first page p99, {k}, on the image | within 10 % "
                              f"of in memory ({ms(b['first_p99_ms'])} ms) | "
                              f"{ms(a['first_p99_ms'])} ms | "
                              f"{yes[a['first_p99_ms'] <= 1.1 * b['first_p99_ms']]} |")
    return checks


def same_corpus(rows):
    """Every engine finds the same hits: peers whose counts differ from ours
    were run on another corpus or other queries."""
    ours = {r["pages"]: r for r in rows if r["engine"] == "ours"}
    for r in rows:
        o = ours.get(r["pages"])
        if r["engine"] == "ours" or not o:
            continue
        differ = [k for k in KINDS if k in r["queries"] and k in o["queries"] and
                  r["queries"][k]["hits_p50"] != o["queries"][k]["hits_p50"]]
        if differ:
            print(f"**{r['engine']} at {r['pages']:,} pages finds other hit counts than ours "
                  f"({', '.join(differ)}): not the same corpus or queries.**\n")


def main():
    rows, starts = [], []
    for line in open(sys.argv[1]):
        if line.strip():
            r = json.loads(line)
            (starts if r.get("kind") == "server_start" else rows).append(r)
    borrowed = sorted({r["peers_from"] for r in rows if "peers_from" in r})
    if borrowed:
        print(f"The peers' rows are those of an earlier run: {', '.join(borrowed)}.\n")
    same_corpus(rows)
    if starts:
        start_up(rows, starts)
    else:
        checks = image_costs(rows)
        if checks:
            print("| pages | measure | target | now | met |")
            print("|---:|---|---|---:|---|")
            print("\n".join(checks) + "\n")
    print("### Indexing, size and memory\n")
    print("Ours: save = the pair and the image; load = the start from the image "
          "(pair load: the pair alone, what the agent falls back to); RssAnon after "
          "load = the process's anonymous memory after the load, less what it held "
          "before indexing.\n")
    print("| pages | engine | pages/s | index s | on disk MB | image MB | save s | load s | pair load s | reload same hits | index RSS MB | RssAnon after load MB | peak RSS MB | bytes/posting |")
    print("|---:|---|---:|---:|---:|---:|---:|---:|---:|---|---:|---:|---:|---:|")
    # Every engine files the same postings; ours counts them.
    postings = {r["pages"]: r.get("postings", 0) for r in rows if r["engine"] == "ours"}
    for r in rows:
        same = {True: "yes", False: "NO"}.get(r.get("reload_matches"), "")
        p = postings.get(r["pages"], 0)
        per = f"{r['index_rss_bytes'] / p:.1f}" if p else ""
        print(f"| {r['pages']:,} | {r['engine']} | {r['pages_per_second']:,.0f} | "
              f"{r['index_seconds']:.1f} | {mb(r['disk_bytes'])} | {opt(r, 'image_bytes', mb)} | "
              f"{r['save_seconds']:.2f} | {r['load_seconds']:.2f} | "
              f"{opt(r, 'files_load_seconds', lambda x: f'{x:.2f}')} | {same} | "
              f"{mb(r['index_rss_bytes'])} | {opt(r, 'loaded_rss_anon_bytes', mb)} | "
              f"{mb(r['peak_rss_bytes'])} | {per} |")
    print("\n### Our files against a plain file of the same bytes, and forgetting a page\n")
    print("Save and load here: the pair of index files alone; image: its writing, "
          "and the start from it.\n")
    print("| pages | postings | save s | plain write+fsync s | load s | plain read s | image save s | start from image s | forget p50 / p99 ms |")
    print("|---:|---:|---:|---:|---:|---:|---:|---:|---:|")
    for r in rows:
        if r["engine"] != "ours" or "postings" not in r:
            continue
        image_save = opt(r, "image_save_seconds", lambda x: f"{x:.2f}")
        image_start = f"{r['load_seconds']:.2f}" if r.get("loaded_image") else ""
        print(f"| {r['pages']:,} | {r['postings']:,} | {r.get('files_save_seconds', r['save_seconds']):.2f} | "
              f"{r['plain_write_seconds']:.2f} | {r.get('files_load_seconds', r['load_seconds']):.2f} | "
              f"{r['plain_read_seconds']:.2f} | {image_save} | {image_start} | "
              f"{ms(r['forget_p50_ms'])} / {ms(r['forget_p99_ms'])} |")
    print("\n### Query latency, milliseconds (p50 / p99)\n")
    print("First page = the best 20 hits; all = every hit enumerated. Ours: on the "
          "index as read back (the image, as the server searches it); \"ours, in "
          "memory\": the same rounds before the save, on the index as filed.\n")
    header = "| pages | engine | " + " | ".join(
        f"{k} first | {k} all | {k} hits" for k in KINDS) + " |"
    print(header)
    print("|---:|---|" + "---:|" * (3 * len(KINDS)))
    latency = []
    for r in rows:
        latency.append((r["engine"], r, r["queries"]))
        if "memory_queries" in r:
            latency.append(("ours, in memory", r, r["memory_queries"]))
    for engine, r, queries in latency:
        cells = []
        for k in KINDS:
            q = queries.get(k)
            if not q:
                cells += ["", "", ""]
                continue
            cells.append(f"{ms(q['first_p50_ms'])} / {ms(q['first_p99_ms'])}")
            cells.append(f"{ms(q['all_p50_ms'])} / {ms(q['all_p99_ms'])}")
            cells.append(f"{q['hits_p50']:,.0f}")
        print(f"| {r['pages']:,} | {engine} | " + " | ".join(cells) + " |")

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
