#!/usr/bin/env python3
"""Random qoinfo commands against a reference model.

Generates a seeded random sequence of commands (adds of random texts, with
repeated visits; forgets of visits that exist and that do not; searches of
one to three words, absent words and empty queries; stats; a few usage
errors), runs them through real `qoinfo` processes, mostly as `batch`
sessions of a few hundred commands and some as single-command processes, so
that every process start reloads the files the previous one saved, and
checks against history_model.HistoryModel:

- every line each command prints (search hits with their order and Percent,
  add/forget answers, error messages, stats counts) and each session's exit
  status; searches with --prefix and with quoted phrases against the model's
  brute-force Find; each --json hit's snippet marks only the query's words
  and is there when the page's kept text has words (the indented passage
  lines of text output are left out of the comparison);
- after every session, the saved index files, through `qoinfo-index dump`.

Usage:
  random_commands_test.py QOINFO QOINFO_INDEX [--wine] [--seed N]
                          [--commands N] [--processes N]
With --wine, QOINFO is the Windows build run by wine64 (the caller has
sourced scripts/wine-env: WINEPREFIX and friends are set and the prefix is
booted); its data directory is named by a Windows path (Z:\\...). A
QOINFO_INDEX ending in .exe runs under wine64 too; otherwise the Linux
reader checks what the Windows build wrote.
Prints "PASS name" / "FAIL name" lines and ends with "N passed, N failed".
"""
import argparse
import json
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from history_model import (E_INVALIDARG_MESSAGE, HistoryModel,  # noqa: E402
                           check_snippet, extract_words, format_visit_time,
                           parse_visit_time, read_find_query, text_words)

# --- what the random commands are made of -----------------------------------

VOCABULARY = [
    "alpha", "beta", "gamma", "delta", "epsilon", "zeta", "eta", "theta",
    "iota", "kappa", "lambda", "mu", "nu", "xi", "omicron", "pi", "rho",
    "sigma", "tau", "upsilon", "hello", "world", "search", "engine", "index",
    "page", "history", "visit", "agent", "query", "a", "i", "x", "ab", "of",
    "to", "Hello", "HELLO", "World", "café", "über", "naïve", "façade",
    "smørrebrød", "ÉCOLE", "école", "Straße", "λόγος", "ΛΌΓΟΣ", "ψυχή", "Ωμέγα",
    "москва", "Мир", "ПРИВЕТ", "данные", "日本", "中文", "\U0001D11Enote",
    "word\u200bjoined", "ctl\x1cword", "(hello)", "world.", "end;",
    '"quoted"', "a/b", "c:\\dir", "...", "x.y.z", "c++", "--", "e-mail",
    "don't", "3.14", "2024", "(", "-x",
]
ABSENT_WORDS = ["zzz", "nothere", "Ωmissing", "absent-word", "qq", "y"]
SPACES = [" "] * 12 + ["  ", "\t", "\n", "\r\n", "\u00a0", "\u3000", "\u2003",
                       " \u2028 ", "\u205f"]
URLS = [f"http://site{n}.example/page{n % 7}" for n in range(40)] + [
    "http://例え.jp/ページ", "https://ex.org/a?b=c&d=é", "file:///C:/x y.html",
    "http://q.example/\"quote\"\\back",
]
TIMES = [0, 5, 86399, 1000000000, 1700000000, 1700003600, 1700007200,
         1712345678, 2000000000, 4102444800]
TITLES = ["", "Home", 'A "quoted" title', "back\\slash", "tab\there",
          "Ünïcödé — title", "Ωμέγα", "line\nbreak", "cr\rhere"]
PATHS = ["", "/var/cache/page.html", "C:\\Users\\me\\page.htm", "ä/ö"]
BAD_TIMES = ["yesterday", "2024-02-30T00:00:00Z", "12x", ""]

STATS_KEYS = ["data_directory", "data_directory_open_to_others", "visits", "pages",
              "last_page_id", "words", "postings", "journaled_changes",
              "visits_without_page", "pages_without_visit", "save_interrupted",
              "damaged_copies", "files", "store_text", "texts_kept", "text_bytes"]


class Expected:
    """One expected output line: exact text, a JSON object (keys in order),
    or a stats object (counts and key order; file sizes not compared); on
    standard output, or (kind "error") exact text on standard error."""

    def __init__(self, kind, value):
        self.kind, self.value = kind, value
        self.stream = "err" if kind == "error" else "out"

    def matches(self, line, data_directory):
        if self.kind in ("text", "error"):
            return line == self.value
        try:
            got = json.loads(line)
        except ValueError:
            return False
        if self.kind == "json":
            return list(got.items()) == list(self.value.items())
        if self.kind == "hit":
            hit, words, prefix, kept = self.value
            snippet = got.pop("snippet", None)
            if list(got.items()) != list(hit.items()):
                return False
            if snippet is None:
                return not kept
            return check_snippet(snippet, words, prefix) is None
        if list(got) != STATS_KEYS or got["data_directory"] != data_directory:
            return False
        counts = dict(self.value)
        saved = counts.pop("saved")
        if any(got[k] != v for k, v in counts.items()):
            return False
        # The journal is there once an agent has run in the directory.
        files = [(f["name"], f["present"]) for f in got["files"]
                 if f["name"] != "index.journal"]
        return files == [("1.hcpa", saved), ("2.hcpb", saved), ("history.sqlite3", True)] \
            and got["damaged_copies"] == [] and got["pages_without_visit"] == 0

    def __repr__(self):
        if self.kind == "hit":
            return json.dumps(self.value[0], ensure_ascii=False)
        return json.dumps(self.value, ensure_ascii=False) if self.kind != "text" \
            else repr(self.value)


class Command:
    """One command line of qoinfo (without --data-dir) and, once `expect`
    ran on the model, what it must print and its exit status."""

    def __init__(self, args, text=None):
        self.args = args
        self.text = text  # the page text of an add (for --text-file)

    def expect(self, model, usage):
        name = self.args[0]
        if name == "add":
            return expect_add(model, self.args[1:], self.text, usage)
        if name == "forget":
            return expect_forget(model, self.args[1:])
        if name == "search":
            return expect_search(model, self.args[1:])
        if name == "stats":
            return [Expected("stats", dict(model.stats(), saved=model.saved))], 0
        raise AssertionError(name)


def options(args, with_values, switches, operands=False):
    """A small copy of qoinfo's option rules for the options used here."""
    values, on, rest, ended = {}, set(), [], False
    i = 0
    while i < len(args):
        a = args[i]
        if ended or len(a) < 2 or not a.startswith("--"):
            rest.append(a)
        elif a == "--":
            ended = True
        elif a in with_values:
            values[a] = args[i + 1]
            i += 1
        elif a in switches:
            on.add(a)
        else:
            return None
        i += 1
    assert operands or not rest
    return values, on, rest


def expect_add(model, args, text, usage):
    parsed = options(args, ["--time", "--url", "--path", "--title", "--text",
                            "--text-file"], ["--json"])
    if parsed is None:
        bad = next(a for a in args if a.startswith("--") and a not in (
            "--time", "--url", "--path", "--title", "--text", "--text-file", "--json"))
        return ([Expected("error", f"qoinfo add: unknown option '{bad}'")] +
                [Expected("error", line) for line in usage["add"]]), 2
    values, on, _ = parsed
    if "--time" not in values or "--url" not in values:
        return [Expected("error", "qoinfo add: --time and --url are required")], 2
    seconds = parse_visit_time(values["--time"])
    if seconds is None:
        return [Expected("error", f"qoinfo add: --time '{values['--time']}' is neither "
                                 "a number of seconds nor YYYY-MM-DDTHH:MM:SSZ")], 2
    url = values["--url"]
    index, new, indexed = model.add(seconds, url, values.get("--path", ""),
                                    values.get("--title", ""), text)
    if "--json" in on:
        return [Expected("json", {"index": index, "new": new, "indexed": indexed})], 0
    if new:
        return [Expected("text", "added " + url)], 0
    if indexed:
        return [Expected("text", "indexed the page of a visit already in the "
                                 "history: " + url)], 0
    return [Expected("text", "already in the history: " + url)], 0


def expect_forget(model, args):
    values, on, _ = options(args, ["--time", "--url"], ["--json"])
    seconds = parse_visit_time(values["--time"])
    url = values["--url"]
    index = model.forget(seconds, url)
    if index is None:
        message = (f"no visit at {format_visit_time(seconds)} to {url} in the history: "
                   f"URLBASE_E_NOVISIT (HRESULT 0x80070490)")
        failure = [Expected("error", "qoinfo forget: " + message)]
        if "--json" in on:
            failure.append(Expected("json", {"error": message, "hresult": "0x80070490",
                                             "symbol": "URLBASE_E_NOVISIT"}))
        return failure, 1
    if "--json" in on:
        return [Expected("json", {"index": index, "removed": True})], 0
    return [Expected("text", "forgot " + url)], 0


def expect_search(model, args):
    values, on, words = options(args, ["--limit"], ["--json", "--prefix"], operands=True)
    # qoinfo joins the operands with one space between each two.
    query = " ".join(words)
    prefix = "--prefix" in on
    hits = model.find(query, prefix)
    if hits is None:
        return [Expected("error", "qoinfo search: the query is empty: " + E_INVALIDARG_MESSAGE)], 2
    if "--limit" in values:
        hits = hits[:int(values["--limit"])]
    if "--json" in on:
        query_words = set(extract_words(query))
        begins = read_find_query(query, prefix)[1]
        return [Expected("hit", (hit.json(), query_words, begins,
                                 bool(text_words(model.texts.get(hit.record[:2], "")))))
                for hit in hits], 0
    return [Expected("text", hit.text_line()) for hit in hits], 0


class Generator:
    def __init__(self, rng, model):
        self.rng, self.model = rng, model
        weights = [1.0 / (rank + 1) ** 0.8 for rank in range(len(VOCABULARY))]
        self.vocabulary = VOCABULARY[:]
        rng.shuffle(self.vocabulary)
        self.weights = weights
        self.unique = 0

    def word(self):
        return self.rng.choices(self.vocabulary, self.weights)[0]

    def text(self):
        r = self.rng
        if r.random() < 0.05:
            return ""
        n = r.randint(1, 25)
        parts = [self.word() if r.random() < 0.97 else r.choice(ABSENT_WORDS)
                 for _ in range(n)]
        text = ""
        for i, word in enumerate(parts):
            text += (r.choice(SPACES) if i else "") + word
        if r.random() < 0.15:
            # A word of this page alone: when the page goes, so does the
            # word.
            self.unique += 1
            text += r.choice(SPACES) + f"Only{self.unique}"
        if r.random() < 0.05:
            text = r.choice(SPACES) + text   # the empty word
        if r.random() < 0.1:
            text += r.choice(SPACES)
        return text

    def time_text(self, seconds):
        if self.rng.random() < 0.1 and seconds < 253402300800:
            return format_visit_time(seconds)
        return str(seconds)

    def visit(self, existing_share):
        r = self.rng
        if self.model.visits and r.random() < existing_share:
            return r.choice(sorted(self.model.visits, key=repr))
        return r.choice(TIMES), r.choice(URLS)

    def add(self):
        r = self.rng
        seconds, url = self.visit(0.25)
        args = ["add", "--time", self.time_text(seconds), "--url", url]
        if r.random() < 0.6:
            args += ["--title", r.choice(TITLES)]
        if r.random() < 0.4:
            args += ["--path", r.choice(PATHS)]
        if r.random() < 0.3:
            args.append("--json")
        text = self.text()
        return Command(args + ["--text", text], text)

    def forget(self):
        seconds, url = self.visit(0.7)
        args = ["forget", "--time", self.time_text(seconds), "--url", url]
        if self.rng.random() < 0.3:
            args.append("--json")
        return Command(args)

    def search(self):
        r = self.rng
        args = ["search"]
        if r.random() < 0.85:
            args.append("--json")
        if r.random() < 0.1:
            args += ["--limit", str(r.randint(0, 4))]
        roll = r.random()
        if roll < 0.03:
            return Command(args + r.choice([[], [""]]))
        if roll < 0.25:
            return self.find(args)
        if roll < 0.05:
            return Command(args + [r.choice([".", " ", "(", " " + self.word()])])
        known = sorted(self.model.words, key=repr)
        for _ in range(r.randint(1, 3)):
            pick = r.random()
            if pick < 0.15:
                args.append(r.choice(ABSENT_WORDS))
            elif pick < 0.4 and known:
                args.append(r.choice(known))
            else:
                args.append(self.word())
        if "--" in args[1:] and r.random() < 0.5:
            args.insert(1, "--")
        return Command(args)

    def find(self, args):
        """A search with a quoted phrase (mostly words that follow each
        other in a kept text), a last word cut short with --prefix, or
        both."""
        r = self.rng
        kind = r.choice(["phrase", "prefix", "both"])
        if kind != "phrase":
            args.insert(1, "--prefix")
        if kind != "prefix":
            texts = [words for words in (text_words(t) for t in sorted(
                self.model.texts.values())) if len(words) >= 2]
            if texts and r.random() < 0.8:
                words = r.choice(texts)
                at = r.randrange(len(words) - 1)
                phrase = words[at:at + r.randint(2, 3)]
            else:
                phrase = [self.word(), self.word()]
            args.append('"' + " ".join(phrase) + '"')
        if kind != "phrase":
            known = sorted(self.model.words, key=repr)
            word = r.choice(known) if known and r.random() < 0.8 else self.word()
            cut = word[:r.randint(1, max(1, len(word)))]
            args.append(cut if cut and not cut.startswith("-") else "a")
        return Command(args)

    def usage_error(self):
        r = self.rng
        seconds, url = self.visit(0.5)
        choice = r.randint(0, 2)
        if choice == 0:
            return Command(["add", "--time", str(seconds), "--text", "never stored"],
                           "never stored")
        if choice == 1:
            return Command(["add", "--time", r.choice(BAD_TIMES), "--url", url,
                            "--text", "never stored"], "never stored")
        return Command(["add", "--time", str(seconds), "--url", url, "--bogus",
                        "--text", "x"], "x")

    def command(self):
        roll = self.rng.random()
        if roll < 0.45:
            return self.add()
        if roll < 0.82:
            return self.search()
        if roll < 0.95:
            return self.forget()
        if roll < 0.97:
            return Command(["stats", "--json"])
        return self.usage_error()


# --- running --------------------------------------------------------------------

class Runner:
    def __init__(self, qoinfo, qoinfo_index, wine, work):
        self.work = work
        self.wine64 = os.environ.get("WINE64", "/usr/lib/wine/wine64")
        self.qoinfo = self.prefix(qoinfo, wine)
        self.qoinfo_index = self.prefix(qoinfo_index, qoinfo_index.endswith(".exe"))
        data = os.path.join(work, "data")
        self.data_arg = "Z:" + data.replace("/", "\\") if wine else data
        self.data = data
        self.wine = wine
        self.processes = 0

    def prefix(self, program, wine):
        return [self.wine64, program] if wine else [program]

    def run(self, argv, stdin=b""):
        self.processes += 1
        # Files, not pipes: wine's helper processes inherit the handles and
        # would hold a pipe open for seconds after the program ended.
        streams = {}
        with tempfile.TemporaryFile(dir=self.work) as out, \
                tempfile.TemporaryFile(dir=self.work) as err, \
                tempfile.TemporaryFile(dir=self.work) as given:
            given.write(stdin)
            given.seek(0)
            status = subprocess.run(argv, stdin=given, stdout=out, stderr=err,
                                    cwd=self.work, timeout=600).returncode
            for name, f in (("out", out), ("err", err)):
                f.seek(0)
                streams[name] = f.read().decode("utf-8", "replace")
        return status, streams

    def qoinfo_run(self, args, stdin=b""):
        return self.run(self.qoinfo + ["--data-dir", self.data_arg] + args, stdin)

    def dump(self, kind, name):
        status, out = self.run(self.qoinfo_index + ["dump", "--" + kind, name])
        return status, out


def lines_of(output):
    lines = output.split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    return lines


def compare_session(commands, expected, output, data_directory):
    """None when the output is what the commands should print, else a
    description of the first difference. Each stream is compared in order."""
    lines = {stream: lines_of(output[stream]) for stream in ("out", "err")}
    # The passages under text hits (checked in --json output instead).
    lines["out"] = [line for line in lines["out"] if not line.startswith("    ")]
    position = {"out": 0, "err": 0}
    for number, (command, (want, _)) in enumerate(zip(commands, expected)):
        for stream in ("out", "err"):
            wanted = [w for w in want if w.stream == stream]
            start = position[stream]
            got = lines[stream][start:start + len(wanted)]
            if len(got) == len(wanted) and all(
                    w.matches(g, data_directory) for w, g in zip(wanted, got)):
                position[stream] += len(wanted)
                continue
            at = next((i for i, (w, g) in enumerate(zip(wanted, got))
                       if not w.matches(g, data_directory)), min(len(wanted), len(got)))
            return (f"command {number + 1}: {json.dumps(command.args, ensure_ascii=False)}\n"
                    f"  {len(wanted)} lines expected on std{stream}; line {at + 1} differs:\n"
                    f"  expected: {wanted[at:at + 2]}\n"
                    f"  actual:   {lines[stream][start + at:start + at + 2]}")
    for stream in ("out", "err"):
        if position[stream] != len(lines[stream]):
            return (f"unexpected lines at the end of std{stream}: "
                    f"{lines[stream][position[stream]:position[stream] + 5]}")
    return None


class Test:
    def __init__(self):
        self.passed = self.failed = 0

    def check(self, name, problem):
        if problem is None:
            print(f"PASS {name}")
            self.passed += 1
        else:
            print(f"FAIL {name}: {problem}")
            self.failed += 1
        sys.stdout.flush()
        return problem is None


def usage_lines(runner, command):
    status, out = runner.run(runner.qoinfo + [command, "--help"])
    return lines_of(out["out"])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("qoinfo")
    parser.add_argument("qoinfo_index")
    parser.add_argument("--wine", action="store_true")
    parser.add_argument("--seed", type=int, default=20240611)
    parser.add_argument("--commands", type=int, default=4000)
    parser.add_argument("--processes", type=int, default=0,
                        help="about how many qoinfo processes (default: 60, 30 with --wine)")
    options_ = parser.parse_args()
    processes = options_.processes or (30 if options_.wine else 60)
    qoinfo = os.path.abspath(options_.qoinfo)
    qoinfo_index = os.path.abspath(options_.qoinfo_index)

    rng = random.Random(options_.seed)
    model = HistoryModel()
    model.saved = False  # whether a session has saved the index files yet
    generator = Generator(rng, model)
    test = Test()
    # The history commits every visit to disk; on a memory file system
    # those flushes cost nothing, and this test is about what is kept.
    memory = "/dev/shm"
    work = tempfile.mkdtemp(prefix="qoinfo-random-", dir=memory if os.access(
        memory, os.W_OK) else None)
    started = time.monotonic()
    try:
        runner = Runner(qoinfo, qoinfo_index, options_.wine, work)
        os.mkdir(runner.data, 0o700)
        usage = {"add": usage_lines(runner, "add")}
        # About two thirds of the processes are batches, the rest single
        # commands; the batches share the commands.
        singles = processes // 3
        batches = max(1, processes - singles)
        batch_size = max(1, (options_.commands - singles) // batches)
        kinds = ["batch"] * batches + ["single"] * singles
        rng.shuffle(kinds)
        kinds.remove("batch")
        kinds.insert(0, "batch")  # the first session makes the files
        total_commands = total_searches = total_hits = 0
        for session, kind in enumerate(kinds, 1):
            if kind == "batch":
                size = rng.randint(batch_size // 2, batch_size * 3 // 2)
                commands = [generator.command() for _ in range(size)]
            else:
                commands = [generator.command()]
            expected = [c.expect(model, usage) for c in commands]
            status_want = next((s for _, s in expected if s != 0), 0)
            if kind == "batch":
                lines = "".join(json.dumps(c.args, ensure_ascii=False) + "\n"
                                for c in commands).encode("utf-8")
                if rng.random() < 0.3:
                    with open(os.path.join(work, "commands.txt"), "wb") as f:
                        f.write(lines)
                    status, out = runner.qoinfo_run(["batch", "--file", "commands.txt"])
                else:
                    status, out = runner.qoinfo_run(["batch"], lines)
            else:
                args = commands[0].args
                if args[0] == "add" and (options_.wine or rng.random() < 0.5):
                    # The text from a file (command lines under wine carry
                    # no control characters reliably).
                    with open(os.path.join(work, "text.txt"), "wb") as f:
                        f.write(commands[0].text.encode("utf-8"))
                    at = args.index("--text")
                    args = args[:at] + ["--text-file", "text.txt"] + args[at + 2:]
                status, out = runner.qoinfo_run(args)
            model.saved = True
            total_commands += len(commands)
            total_searches += sum(c.args[0] == "search" for c in commands)
            total_hits += sum(len(w) for c, (w, _) in zip(commands, expected)
                              if c.args[0] == "search")
            label = f"session {session} ({kind}, {len(commands)} commands)"
            ok = test.check(f"{label}: output", compare_session(
                commands, expected, out, runner.data_arg))
            ok &= test.check(f"{label}: exit status", None if status == status_want
                             else f"expected {status_want}, got {status}")
            for kind_name, file_name, want in (
                    ("records", "1.hcpa", model.records_dump()),
                    ("words", "2.hcpb", model.words_dump())):
                dump_status, dump = runner.dump(kind_name, os.path.join("data", file_name))
                problem = None
                if dump_status != 0:
                    problem = f"dump exited {dump_status}: {dump['err'][:300]}"
                else:
                    got = json.loads(dump["out"])
                    if got != want:
                        problem = first_difference(want, got)
                ok &= test.check(f"{label}: {file_name} as the model implies", problem)
            if not ok:
                print(f"stopping after session {session}: the model and the files "
                      f"have parted; seed {options_.seed}")
                break
        print(f"# {total_commands} commands ({total_searches} searches, {total_hits} hits "
              f"compared) in {runner.processes} processes, "
              f"{time.monotonic() - started:.1f} s; model: {len(model.visits)} visits, "
              f"{len(model.records)} pages, last id {model.last_id}, "
              f"{len(model.words)} words")
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print(f"{test.passed} passed, {test.failed} failed")
    return 0 if test.failed == 0 else 1


def first_difference(want, got):
    if want.get("lastId") != got.get("lastId"):
        return f"lastId: expected {want.get('lastId')}, got {got.get('lastId')}"
    key = "records" if want["kind"] == "records" else "words"
    for i, (w, g) in enumerate(zip(want[key], got[key])):
        if w != g:
            return f"{key}[{i}]: expected {json.dumps(w, ensure_ascii=False)}, " \
                   f"got {json.dumps(g, ensure_ascii=False)}"
    return f"{key}: expected {len(want[key])} entries, got {len(got[key])}"


if __name__ == "__main__":
    sys.exit(main())
