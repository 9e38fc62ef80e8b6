#!/usr/bin/env bash
# What keeping page texts costs: the history's bytes per page on the bench
# corpus (build/bench/corpus.tsv, filed by an embedded agent with store-text
# on and off), and pages per second of `qoinfo import` through the Linux
# servers on a private bus, store-text on and off.
#   bench/page_texts.sh LINUX_BIN_DIR [IMPORT_DIR] [OTHER_BIN_DIR]
# IMPORT_DIR defaults to the debian-handbook's HTML; OTHER_BIN_DIR, a build
# from before texts were kept, is imported through as well, for comparison.
set -euo pipefail
bin=$(cd "$1" && pwd)
import_dir=${2:-/usr/share/doc/debian-handbook/html}
other=${3:+$(cd "$3" && pwd)}
source "$(dirname "$0")/../tests/e2e/dbus_bus.sh"
corpus=${QOINFO_BENCH_CORPUS:-build/bench/corpus.tsv}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# --- bytes per page -----------------------------------------------------------
if [[ -z ${QOINFO_BENCH_SKIP_BYTES:-} ]]; then
/usr/bin/python3 - "$corpus" "$work/pages.jsonl" <<'PY'
import json, sys
units = utf8 = pages = 0
with open(sys.argv[1], encoding="utf-8") as src, open(sys.argv[2], "w") as out:
    for line in src:
        time, url, path, title, text = line.rstrip("\n").split("\t")
        out.write(json.dumps(["add", "--time", time, "--url", url, "--path", path,
                              "--title", title, "--text", text]) + "\n")
        pages += 1
        utf8 += len(text.encode("utf-8"))
        units += len(text.encode("utf-16-le"))
print(f"corpus: {pages} pages, text {utf8 / pages:.0f} B UTF-8, {units / pages:.0f} B UTF-16 a page")
PY
for setting in on off; do
  data=$work/data-$setting
  "$bin/qoinfo" --embedded --data-dir "$data" config store-text "$setting" >/dev/null
  "$bin/qoinfo" --embedded --data-dir "$data" batch --file "$work/pages.jsonl" >/dev/null
  "$bin/qoinfo" --embedded --data-dir "$data" stats --json >"$work/stats-$setting.json"
done
/usr/bin/python3 - "$work" <<'PY'
import json, os, sys
w = sys.argv[1]
on, off = (json.load(open(f"{w}/stats-{s}.json")) for s in ("on", "off"))
size = {s: os.path.getsize(f"{w}/data-{s}/history.sqlite3") for s in ("on", "off")}
n = on["texts_kept"]
print(f"texts kept: {n}; compressed {on['text_bytes'] / n:.0f} B a page; "
      f"history file {size['on'] / on['visits']:.0f} B a visit with texts, "
      f"{size['off'] / off['visits']:.0f} B without "
      f"({(size['on'] - size['off']) / n:.0f} B a page for the text)")
PY
fi

# --- filing through the servers -----------------------------------------------
# import_rate BIN SETTING: pages/s of one import into a new data directory.
import_rate() {
  local bin=$1 setting=$2
  # The tests' private session bus, in a work folder of this run's own.
  local work=$work/bus-$RANDOM linux=$bin data
  mkdir -p "$work"
  dbus_setup >/dev/null
  in_bus bash -c '
    [[ $2 == - ]] || "$1/qoinfo" --server config store-text "$2" >/dev/null
    "$1/qoinfo" --server import --json "$3"' _ "$bin" "$setting" "$import_dir" |
    /usr/bin/python3 -c 'import json, sys
d = json.load(sys.stdin)
print("%.0f pages/s (%d pages)" % (d["added"] / d["seconds"], d["added"]))'
}
echo "import through the servers, store-text on:  $(import_rate "$bin" on)"
echo "import through the servers, store-text off: $(import_rate "$bin" off)"
[[ -z $other ]] || echo "import through the servers, $other: $(import_rate "$other" -)"
