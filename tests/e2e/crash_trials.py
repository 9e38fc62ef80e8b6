#!/usr/bin/env python3
"""Crash trials: the qoinfo process is killed outright (SIGKILL, which under
wine ends the Windows process as TerminateProcess does) at a random moment
while it adds and forgets pages, checkpoints and saves; then the index is
read back. Every page whose add was acknowledged must be found, unless its
forget was acknowledged too; nothing acknowledged as forgotten may come
back; every file must load.

  crash_trials.py QOINFO [--wine] [--trials N] [--seed N]

One data directory lives through all trials, so later trials crash on top
of what earlier crashes left. The checkpoint threshold is lowered
(QOINFO_CHECKPOINT_BYTES) so that saves happen in the middle of the work,
not only at its end. Ends with "N passed, N failed".
"""
import json
import os
import random
import signal
import subprocess
import sys
import tempfile
import threading
import time


class Trials:
    def __init__(self, qoinfo, wine, seed):
        self.rng = random.Random(seed)
        self.wine = wine
        self.work = tempfile.mkdtemp(prefix="qoinfo-crash-")
        data = os.path.join(self.work, "data")
        # A kill before the first command made the folder leaves nothing to
        # search; an empty folder is an empty index.
        os.makedirs(data, mode=0o700)
        self.command = ([os.environ.get("WINE64", "/usr/lib/wine/wine64")] if wine else []) + [
            qoinfo, "--data-dir", "Z:" + data.replace("/", "\\") if wine else data]
        self.env = dict(os.environ, QOINFO_CHECKPOINT_BYTES=str(self.rng.choice([2000, 20000])))
        self.next_time = 1
        self.live = {}        # url -> time: pages in the index (to forget later)
        self.acknowledged = set()  # urls whose add was acknowledged, not forgotten
        self.forgotten = set()  # urls whose forget was acknowledged
        self.passed = self.failed = 0
        self.recovered = 0
        self.images_refused = 0

    def result(self, ok, name, detail=""):
        if ok:
            self.passed += 1
        else:
            self.failed += 1
            print(f"FAIL {name}{': ' + detail if detail else ''}", flush=True)

    def commands(self, count):
        """A mix of adds (two in three) and forgets of acknowledged pages."""
        lines = []
        for _ in range(count):
            if self.live and self.rng.random() < 0.33:
                url = self.rng.choice(sorted(self.live))
                lines.append(["forget", "--time", str(self.live[url]), "--url", url])
            else:
                t = self.next_time
                self.next_time += 1
                words = " ".join(f"w{self.rng.randrange(500)}" for _ in range(40))
                lines.append(["add", "--time", str(t), "--url", f"http://crash/{t}",
                              "--text", "common " + words])
        return lines

    def trial(self, number):
        lines = self.commands(self.rng.randrange(20, 120))
        process = subprocess.Popen(self.command + ["batch"], stdin=subprocess.PIPE,
                                   stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                   env=self.env)
        acknowledged = []

        def read():
            for raw in process.stdout:
                acknowledged.append(raw.decode("utf-8", "replace").rstrip("\n"))

        reader = threading.Thread(target=read)
        reader.start()
        # Kill while commands are still coming, or after the input ended
        # (during the final save), or not at all.
        moment = self.rng.choice(["during", "during", "save", "end"])
        cut = self.rng.randrange(len(lines)) if moment == "during" else len(lines)
        try:
            for i, line in enumerate(lines):
                process.stdin.write((json.dumps(line) + "\n").encode())
                process.stdin.flush()
                if i == cut:
                    time.sleep(self.rng.random() * 0.02)
                    break
            if moment != "during":
                process.stdin.close()
                if moment == "save":
                    time.sleep(self.rng.random() * 0.05)
        except BrokenPipeError:
            pass
        if moment != "end":
            process.send_signal(signal.SIGKILL)
        process.wait(timeout=120)
        reader.join()
        self.apply(lines, acknowledged)
        self.check(number, moment)

    def apply(self, lines, acknowledged):
        """What the process acknowledged, in order: one output line per
        command that succeeded."""
        done = {line for line in acknowledged}
        for line in lines:
            verb, url = line[0], line[line.index("--url") + 1]
            if verb == "add" and f"added {url}" in done:
                self.live[url] = int(line[2])
                self.acknowledged.add(url)
                self.forgotten.discard(url)
            elif verb == "forget":
                # A forget without its answer may or may not have happened.
                self.acknowledged.discard(url)
                if f"forgot {url}" in done:
                    self.live.pop(url, None)
                    self.forgotten.add(url)

    def check(self, number, moment):
        run = subprocess.run(self.command + ["search", "--json", "common"],
                             capture_output=True, env=self.env, timeout=300)
        name = f"trial {number} ({moment})"
        if run.returncode == 3:
            self.recovered += 1  # a torn journal tail, dropped and reported
        if b"index image" in run.stderr:
            self.images_refused += 1  # a kill between the pair and its image
        self.result(run.returncode in (0, 3), name + ": the index loads",
                    f"exit {run.returncode}: {run.stderr.decode(errors='replace')[:300]}")
        found = {json.loads(line)["url"] for line in run.stdout.decode().splitlines()}
        lost = sorted(self.acknowledged - found)
        back = sorted(self.forgotten & found)
        self.result(not lost, name + ": every acknowledged page is found",
                    f"{len(lost)} lost, e.g. {lost[:3]}")
        if lost and os.environ.get("CRASH_TRIALS_STOP"):
            print("data kept in", self.work, "; stderr of the check:",
                  run.stderr.decode(errors="replace"))
            sys.exit(1)
        self.result(not back, name + ": nothing acknowledged as removed comes back",
                    f"{len(back)} back, e.g. {back[:3]}")
        # What is in the index now is what later trials work on: pages whose
        # add or forget was cut short before its answer count as they are.
        self.live = {url: int(url.rsplit("/", 1)[1]) for url in found}
        self.acknowledged &= found
        self.forgotten -= found


def main(argv):
    args, wine, trials, seed = [], False, 100, 20261209
    it = iter(argv)
    for arg in it:
        if arg == "--wine":
            wine = True
        elif arg == "--trials":
            trials = int(next(it))
        elif arg == "--seed":
            seed = int(next(it))
        else:
            args.append(arg)
    if len(args) != 1:
        print(__doc__, file=sys.stderr)
        return 2
    t = Trials(os.path.realpath(args[0]), wine, seed)
    started = time.time()
    for number in range(1, trials + 1):
        t.trial(number)
    print(f"# {trials} trials in {time.time() - started:.1f} s, {len(t.live)} pages live, "
          f"{len(t.forgotten)} forgotten, {t.recovered} torn journal tails reported, "
          f"{t.images_refused} index images refused; seed {seed}")
    print(f"{t.passed} passed, {t.failed} failed")
    return 1 if t.failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
