#!/usr/bin/env bash
# `qoinfo words` end to end: output forms, errors and exit codes, and the
# same word maps from the Linux build and the Windows build under wine64.
# Usage: qoinfo_words_test.sh LINUX_QOINFO [WINDOWS_QOINFO_EXE]
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/harness.sh"
qoinfo=$(realpath "$1")
qoinfo_exe=${2:+$(realpath "$2")}
[[ -n $qoinfo_exe ]] && source "$here/../../scripts/wine-env"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Text output: one "<count>\t<word>" line per word, in word order.
printf 'Hello, World! hello' | "$qoinfo" words >"$work/out"
check "text output" diff <(printf '2\thello\n1\tworld!\n') "$work/out"

printf 'b a b' | "$qoinfo" words --json >"$work/out"
check "json output" diff <(printf '{"words":[["a",1],["b",2]]}\n') "$work/out"

json_matches_text() {
  "$qoinfo" words --text-file "$1" >"$work/text" &&
    "$qoinfo" words --json --text-file "$1" >"$work/json" &&
    /usr/bin/python3 - "$work/text" "$work/json" <<'PY'
import json, sys
text = open(sys.argv[1], encoding="utf-8").read().split("\n")[:-1]
words = json.load(open(sys.argv[2], encoding="utf-8"))["words"]
assert [f"{c}\t{w}" for w, c in words] == text, "json and text differ"
PY
}
check "json agrees with text" json_matches_text "$here/data/multilingual.txt"

printf '' | "$qoinfo" words >"$work/out"
check "empty input prints nothing" test ! -s "$work/out"

printf '\xef\xbb\xbfword' | "$qoinfo" words >"$work/out"
check "byte-order mark is dropped" diff <(printf '1\tword\n') "$work/out"

expect_status() {  # expect_status STATUS PATTERN COMMAND...
  local want=$1 pattern=$2; shift 2
  "$@" >"$work/out" 2>"$work/err" </dev/null
  local got=$?
  [[ $got == "$want" ]] && grep -q -- "$pattern" "$work/err"
}
check "invalid UTF-8 exits 2 naming the byte" \
  expect_status 2 "invalid UTF-8 at byte 3" "$qoinfo" words --text-file <(printf 'ab \xc3(')
check "unknown option exits 2" expect_status 2 "unexpected argument" "$qoinfo" words --bogus
check "unknown command exits 2" expect_status 2 "unknown command" "$qoinfo" frobnicate
check "missing file exits 1" expect_status 1 "cannot open" "$qoinfo" words --text-file "$work/none"

# Both builds give the same maps.
if [[ -n $qoinfo_exe ]]; then
  cp "$here"/data/*.txt "$work/"
  head -c 300000 /usr/share/common-licenses/GPL-3 >"$work/license.txt"
  for f in multilingual control_space license; do
    "$qoinfo" words --text-file "$work/$f.txt" >"$work/$f.linux"
    (cd "$work" && wine_run "$qoinfo_exe" words --text-file "$f.txt") >"$work/$f.windows"
    check "linux and windows agree: $f" cmp "$work/$f.linux" "$work/$f.windows"
    (cd "$work" && wine_run "$qoinfo_exe" words --json <"$f.txt") >"$work/$f.windows.json"
    "$qoinfo" words --json <"$work/$f.txt" >"$work/$f.linux.json"
    check "linux and windows agree (json, stdin): $f" cmp "$work/$f.linux.json" "$work/$f.windows.json"
  done
  printf 'ab \xc3(' >"$work/bad.txt"
  check "windows: invalid UTF-8 exits 2" \
    expect_status 2 "invalid UTF-8 at byte 3" wine_run "$qoinfo_exe" words --text-file "$work/bad.txt"
fi

finish
