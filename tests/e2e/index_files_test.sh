#!/usr/bin/env bash
# Index files end to end: the Linux build and the Windows build (under
# wine64) write the same files and read each other's; an independent reader
# (Python's olefile) and an independent encoder agree with both; damaged
# files are reported, not crashed on.
# Usage: index_files_test.sh LINUX_BIN_DIR [WIN64_BIN_DIR]
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/harness.sh"
e2e_setup "$@"

index_linux() { "$linux/qoinfo-index" "$@"; }
index_windows() { wine_run "$windows/qoinfo-index.exe" "$@"; }

# The stream "ids" of a compound file, as olefile reads it.
ole_stream() {
  "$python" -c '
import olefile, sys
ole = olefile.OleFileIO(sys.argv[1])
assert ole.listdir() == [["ids"]], ole.listdir()
sys.stdout.buffer.write(ole.openstream("ids").read())' "$1"
}

# Wraps raw stream bytes into a compound file with libgsf's own tool.
wrap_stream() {  # wrap_stream BYTES_FILE OUT_FILE
  local dir
  dir=$(mktemp -d -p "$work")
  cp "$1" "$dir/ids"
  (cd "$dir" && gsf createole "$2" ids >/dev/null 2>&1)
}

mkdir -p "$work/linux" "$work/windows"
"$linux/write_sample_index" "$work/linux"
check "linux writes both files" test -s "$work/linux/1.hcpa" -a -s "$work/linux/2.hcpb"

for f in 1.hcpa 2.hcpb; do
  index_linux dump "$work/linux/$f" >"$work/linux/$f.json"
  check "linux reads its own $f" test -s "$work/linux/$f.json"
  ole_stream "$work/linux/$f" >"$work/linux/$f.ids"
  "$python" "$here/index_layout.py" "$work/linux/$f.json" "$work/linux/$f.expected"
  check "olefile reads linux $f byte-exact" cmp "$work/linux/$f.ids" "$work/linux/$f.expected"
  check "linux check: $f sound" index_linux check "$work/linux/$f"
done

if [[ -n $windows ]]; then
  (cd "$work/windows" && wine_run "$windows/write_sample_index.exe" .)
  check "windows writes both files" test -s "$work/windows/1.hcpa" -a -s "$work/windows/2.hcpb"
  for f in 1.hcpa 2.hcpb; do
    ole_stream "$work/windows/$f" >"$work/windows/$f.ids"
    check "olefile reads windows $f byte-exact" cmp "$work/windows/$f.ids" "$work/linux/$f.expected"
    (cd "$work" && index_windows dump "linux/$f") >"$work/linux/$f.windows.json"
    check "windows reads linux $f" cmp "$work/linux/$f.json" "$work/linux/$f.windows.json"
    index_linux dump "$work/windows/$f" >"$work/windows/$f.json"
    check "linux reads windows $f" cmp "$work/linux/$f.json" "$work/windows/$f.json"
    (cd "$work" && index_windows dump "windows/$f") >"$work/windows/$f.windows.json"
    check "windows reads its own $f" cmp "$work/linux/$f.json" "$work/windows/$f.windows.json"
  done
fi

# Files that another tool wrote from the layouts print exactly their content.
cat >"$work/handmade-records.json" <<'JSON'
{"kind":"records","lastId":9,"records":[{"id":3,"time":-1,"url":"http://x/Ä","path":"p","title":""},{"id":9,"time":42,"url":"","path":"","title":"t \" \\ end"}]}
JSON
cat >"$work/handmade-words.json" <<'JSON'
{"kind":"words","words":[{"word":"","ids":[]},{"word":"a","ids":[[1,1],[9,2147483647]]},{"word":"ü","ids":[[3,5]]}]}
JSON
for kind in records words; do
  "$python" "$here/index_layout.py" "$work/handmade-$kind.json" "$work/handmade-$kind.bytes"
  wrap_stream "$work/handmade-$kind.bytes" "$work/handmade-$kind.bin"
  index_linux dump "--$kind" "$work/handmade-$kind.bin" >"$work/handmade-$kind.out"
  check "linux dump of a hand-made $kind file" cmp "$work/handmade-$kind.json" "$work/handmade-$kind.out"
  if [[ -n $windows ]]; then
    (cd "$work" && index_windows dump "--$kind" "handmade-$kind.bin") >"$work/handmade-$kind.wout"
    check "windows dump of a hand-made $kind file" cmp "$work/handmade-$kind.json" "$work/handmade-$kind.wout"
  fi
done

# Damage is reported with its offset; usage errors exit 2.
expect() {  # expect STATUS PATTERN COMMAND...
  local want=$1 pattern=$2; shift 2
  "$@" >"$work/out" 2>&1
  local got=$?
  [[ $got == "$want" ]] && grep -q -- "$pattern" "$work/out"
}
head -c 40 "$work/linux/2.hcpb.expected" >"$work/cut.bytes"
wrap_stream "$work/cut.bytes" "$work/cut-2.hcpb"
check "truncated stream: damaged at its offset" \
  expect 1 "damaged at byte 26: 2 identifiers run past the end" index_linux check "$work/cut-2.hcpb"
check "truncated stream: json form" \
  expect 1 '"sound":false,"offset":26' index_linux check --json "$work/cut-2.hcpb"
check "truncated stream: dump prints what precedes the damage and fails" \
  expect 1 '"word":""' index_linux dump "$work/cut-2.hcpb"
printf 'plain text' >"$work/text-1.hcpa"
check "not a compound file" expect 1 "not a compound file" index_linux check "$work/text-1.hcpa"
check "missing file" expect 1 "no such file" index_linux check "$work/none-1.hcpa"
check "unknown kind is a usage error" expect 2 "cannot tell" index_linux check "$work/cut.bytes"
check "unknown option is a usage error" expect 2 "unknown option" index_linux dump --bogus x
if [[ -n $windows ]]; then
  check "windows: truncated stream damaged at its offset" \
    expect 1 "damaged at byte 26" bash -c "cd '$work' && '$WINE64' '$windows/qoinfo-index.exe' check cut-2.hcpb"
fi

finish
