#!/usr/bin/env bash
# `qoinfo` with its embedded agent, end to end through real processes: add,
# search, forget, restart and search again, with the index files checked
# after each step against what the history implies; the --json forms;
# stats; errors and their exit codes; and the Windows build under wine64
# searching files the Linux build wrote, and the other way round.
# Usage: qoinfo_agent_test.sh LINUX_BIN_DIR [WIN64_BIN_DIR]
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/harness.sh"
e2e_setup "$@"
cd "$work" || exit 1

data=$work/data
q() { "$linux/qoinfo" --data-dir "$data" "$@"; }
dump() { "$linux/qoinfo-index" dump "$@"; }

# expect_out NAME EXPECTED_STDOUT COMMAND...: exit 0 and exactly that output.
expect_out() {
  local name=$1 want=$2; shift 2
  local got status
  got=$("$@" 2>"$work/err")
  status=$?
  if [[ $status == 0 && $got == "$want" ]]; then
    pass "$name"
  else
    fail "$name" "status $status; expected [$want], got [$got] $(head -c 300 "$work/err")"
  fi
}

# expect_status NAME STATUS PATTERN COMMAND...: that exit status, and the
# pattern in what the command printed on standard error.
expect_status() {
  local name=$1 want=$2 pattern=$3; shift 3
  "$@" >"$work/out" 2>"$work/err" </dev/null
  local got=$?
  if [[ $got == "$want" ]] && grep -q -- "$pattern" "$work/err"; then
    pass "$name"
  else
    fail "$name" "status $got (expected $want); stderr: $(head -c 300 "$work/err")"
  fi
}

# files_are NAME RECORDS_JSON WORDS_JSON: the saved index, through the dump.
files_are() {
  local name=$1
  expect_out "$name: 1.hcpa" "$2" dump "$data/1.hcpa"
  expect_out "$name: 2.hcpb" "$3" dump "$data/2.hcpb"
}

# json_field FILE EXPRESSION: a value of a JSON document, by Python expression over `d`.
json_field() {
  "$python" -c 'import json,sys; d=json.load(open(sys.argv[1])); print(eval(sys.argv[2]))' "$1" "$2"
}

# --- add, search, forget, restart --------------------------------------------

expect_out "add prints the visit" "added http://a/1" \
  q add --time 100 --url http://a/1 --path /p/1 --title First --text "Hello world hello"
printf 'World, peace. (world)' >b.txt
expect_out "add --json: a new visit" '{"index":2,"new":true,"indexed":true}' \
  q add --time 2024-01-01T00:00:00Z --url http://b/2 --text-file b.txt --json
expect_out "add with an empty text: a visit without a page" "added http://c/3" \
  q add --time 300 --url http://c/3 --title "no text" --text ""
expect_out "search --json: hits best first with their percent" \
  '{"time":100,"url":"http://a/1","path":"/p/1","title":"First","percent":150,"snippet":{"text":"Hello world hello","marks":[[0,5],[6,5],[12,5]],"cut_before":false,"cut_after":false}}
{"time":1704067200,"url":"http://b/2","path":"","title":"","percent":100,"snippet":{"text":"World, peace. (world)","marks":[[0,5],[15,5]],"cut_before":false,"cut_after":false}}' \
  q search --json hello world
records_ab='{"kind":"records","lastId":2,"records":[{"id":1,"time":100,"url":"http://a/1","path":"/p/1","title":"First"},{"id":2,"time":1704067200,"url":"http://b/2","path":"","title":""}]}'
words_ab='{"kind":"words","words":[{"word":"hello","ids":[[1,2]]},{"word":"peace","ids":[[2,1]]},{"word":"world","ids":[[1,1],[2,2]]}]}'
files_are "after three adds" "$records_ab" "$words_ab"

expect_out "the same visit again changes nothing" '{"index":1,"new":false,"indexed":false}' \
  q add --time 100 --url http://a/1 --title Second --text "Hello world hello" --json
expect_out "the same visit in text form" "already in the history: http://a/1" \
  q add --time 100 --url http://a/1 --text "Hello world hello"
files_are "after repeated visits" "$records_ab" "$words_ab"

q stats --json >stats.json
check "stats --json: counts" test "$(json_field stats.json \
  '[d[k] for k in ("visits","pages","last_page_id","words","postings")]')" = "[3, 2, 2, 3, 4]"
check "stats --json: keys in order" test "$(json_field stats.json 'list(d)')" = \
  "['data_directory', 'data_directory_open_to_others', 'visits', 'pages', 'last_page_id', 'words', 'postings', 'journaled_changes', 'visits_without_page', 'pages_without_visit', 'save_interrupted', 'damaged_copies', 'files', 'store_text', 'texts_kept', 'text_bytes']"
check "stats --json: the data directory" test "$(json_field stats.json 'd["data_directory"]')" = "$data"
check "stats --json: the three files with their sizes" test "$(json_field stats.json \
  '[(f["name"], f["present"], f["bytes"] > 0) for f in d["files"]]')" = \
  "[('1.hcpa', True, True), ('2.hcpb', True, True), ('index.journal', True, True), ('history.sqlite3', True, True)]"
check "stats: text form" grep -q '^pages  *2$' <(q stats)

expect_out "forget prints the visit" "forgot http://a/1" q forget --time 100 --url http://a/1
files_are "after forget: the record goes, and the words only it had" \
  '{"kind":"records","lastId":2,"records":[{"id":2,"time":1704067200,"url":"http://b/2","path":"","title":""}]}' \
  '{"kind":"words","words":[{"word":"peace","ids":[[2,1]]},{"word":"world","ids":[[2,2]]}]}'

# Each command is a new process: the index comes back from the files.
expect_out "after a restart: a forgotten page is not found" "" q search hello
expect_out "after a restart: search in text form, the passage under the hit" \
  "$(printf '300%%\t2024-01-01T00:00:00Z\thttp://b/2\t\n    World, peace. (world)')" q search world
expect_out "a new page after a restart gets the next identifier" "added http://d/4" \
  q add --time 400 --url http://d/4 --title 'Tïtle "q" \ end' --text "HELLO hello Hello"
expect_out "search --json escapes the title" \
  '{"time":400,"url":"http://d/4","path":"","title":"Tïtle \"q\" \\ end","percent":450,"snippet":{"text":"HELLO hello Hello","marks":[[0,5],[6,5],[12,5]],"cut_before":false,"cut_after":false}}' \
  q search --json hello
expect_out "search --limit" \
  '{"time":400,"url":"http://d/4","path":"","title":"Tïtle \"q\" \\ end","percent":150,"snippet":{"text":"HELLO hello Hello","marks":[[0,5],[6,5],[12,5]],"cut_before":false,"cut_after":false}}' \
  q search --json --limit 1 world hello
expect_out "forget --json names the visit" '{"index":3,"removed":true}' \
  q forget --json --time 300 --url http://c/3
records_bd='{"kind":"records","lastId":3,"records":[{"id":2,"time":1704067200,"url":"http://b/2","path":"","title":""},{"id":3,"time":400,"url":"http://d/4","path":"","title":"Tïtle \"q\" \\ end"}]}'
words_bd='{"kind":"words","words":[{"word":"hello","ids":[[3,3]]},{"word":"peace","ids":[[2,1]]},{"word":"world","ids":[[2,2]]}]}'
files_are "after forgetting a visit without a page" "$records_bd" "$words_bd"
expect_out "a visit forgotten and added again is a new page" '{"index":5,"new":true,"indexed":true}' \
  q add --json --time 100 --url http://a/1 --text "again"
records_abd=${records_bd%]\}},'{"id":4,"time":100,"url":"http://a/1","path":"","title":""}]}'
records_abd=${records_abd/\"lastId\":3/\"lastId\":4}
words_abd='{"kind":"words","words":[{"word":"again","ids":[[4,1]]},{"word":"hello","ids":[[3,3]]},{"word":"peace","ids":[[2,1]]},{"word":"world","ids":[[2,2]]}]}'
files_are "identifiers are not reused" "$records_abd" "$words_abd"

# A batch: one session, one save, every line's output in order.
cat >batch.txt <<'EOF'
["add","--time","500","--url","http://e/5","--text","peace peace"]
# a comment
["search","--json","peace"]
["forget","--time","500","--url","http://e/5"]
["search","--json","peace"]
EOF
expect_out "batch: the commands' outputs in order" \
  'added http://e/5
{"time":500,"url":"http://e/5","path":"","title":"","percent":300,"snippet":{"text":"peace peace","marks":[[0,5],[6,5]],"cut_before":false,"cut_after":false}}
{"time":1704067200,"url":"http://b/2","path":"","title":"","percent":150,"snippet":{"text":"World, peace. (world)","marks":[[7,5]],"cut_before":false,"cut_after":false}}
forgot http://e/5
{"time":1704067200,"url":"http://b/2","path":"","title":"","percent":150,"snippet":{"text":"World, peace. (world)","marks":[[7,5]],"cut_before":false,"cut_after":false}}' \
  q batch --file batch.txt
# Page 5 came and went: the counter remembers it.
files_are "after the batch" "${records_abd/\"lastId\":4/\"lastId\":5}" "$words_abd"
QOINFO_DATA_DIR=$data "$linux/qoinfo" stats --json >stats.json
check "QOINFO_DATA_DIR names the data directory" \
  test "$(json_field stats.json '" ".join(str(d[k]) for k in ("data_directory", "visits", "pages"))')" = "$data 3 3"

# --- errors ----------------------------------------------------------------------

cp "$data/1.hcpa" saved-1.hcpa && cp "$data/2.hcpb" saved-2.hcpb
files_unchanged() {
  cmp -s "$data/1.hcpa" saved-1.hcpa && cmp -s "$data/2.hcpb" saved-2.hcpb &&
    q stats --json >stats.json && test "$(json_field stats.json 'd["visits"]')" = 3
}
expect_status "add without --url exits 2" 2 "--time and --url are required" \
  q add --time 1 --text x
expect_status "add with a bad --time exits 2" 2 "'yesterday' is neither a number" \
  q add --time yesterday --url u --text x
expect_status "add with an impossible date exits 2" 2 "is neither" \
  q add --time 2023-02-29T00:00:00Z --url u --text x
expect_status "empty query exits 2 naming E_INVALIDARG" 2 "E_INVALIDARG" q search ""
expect_status "no query at all exits 2 naming E_INVALIDARG" 2 "E_INVALIDARG" q search --json
expect_status "forget of an unknown visit exits 1" 1 \
  "no visit at 1970-01-01T00:08:20Z to http://none in the history" \
  q forget --time 500 --url http://none
expect_status "unknown command exits 2" 2 "unknown command 'frobnicate'" q frobnicate
expect_status "unknown option exits 2" 2 "unknown option '--bogus'" \
  q add --time 1 --url u --bogus --text x
expect_status "--text and --text-file together exit 2" 2 "not both" \
  q add --time 1 --url u --text x --text-file b.txt
expect_status "a missing text file exits 1" 1 "cannot open" \
  q add --time 1 --url u --text-file none.txt
expect_status "a bad --limit exits 2" 2 "--limit needs a number" q search --limit -1 x
expect_status "host-manifest without a browser exits 2" 2 "--browser must be" q host-manifest
expect_status "host-manifest for an unknown browser exits 2" 2 "--browser must be" \
  q host-manifest --browser lynx --host h
printf 'ab \xc3(' >bad.txt
expect_status "invalid UTF-8 in a text file exits 2" 2 "invalid UTF-8 at byte 3" \
  q add --time 9 --url http://bad --text-file bad.txt
expect_status "invalid UTF-8 in --text exits 2" 2 "invalid UTF-8 at byte 2" \
  q add --time 9 --url http://bad --text $'ab\xff'
expect_status "invalid UTF-8 in --title exits 2" 2 "invalid UTF-8" \
  q add --time 9 --url http://bad --title $'\xfe' --text ok
expect_status "invalid UTF-8 in the query exits 2" 2 "the query: invalid UTF-8" \
  q search $'\xc3'
check "refused commands store nothing" files_unchanged
printf '["search","--json","peace"]\n["nope"]\nnot json\n[]\n["forget","--time","1","--url","http://none"]\n' \
  >bad-batch.txt
q batch --file bad-batch.txt >out 2>err
status=$?
check "batch: the first failure's status" test "$status" = 2
check "batch: bad lines named, good lines run" bash -c "
  grep -q \"line 2: unknown command 'nope'\" err && grep -q 'line 3: ' err &&
  grep -q 'line 4: no command' err &&
  grep -q 'no visit at' err && grep -q '\"url\":\"http://b/2\"' out"
touch afile
expect_status "a data directory that is a file: a clear error" 1 \
  "cannot open the history in $work/afile" "$linux/qoinfo" --data-dir "$work/afile" search x
expect_status "a data directory below a file: a clear error" 1 \
  "cannot open the history in $work/afile/sub" "$linux/qoinfo" --data-dir "$work/afile/sub" add \
  --time 1 --url u --text x
check "nothing was made beside the file" test ! -e "$work/afile.saving" -a -f "$work/afile"
expect_status "--data-dir without a folder exits 2" 2 "needs a folder" "$linux/qoinfo" --data-dir

# --- processes at the same time ---------------------------------------------------

# Each process holds the data directory while its agent runs: none loads the
# index while another is about to save it, so no page is lost.
together=$work/together
for i in $(seq 1 8); do
  "$linux/qoinfo" --data-dir "$together" add --time "$i" --url "http://t/$i" \
    --text "together $i" >/dev/null 2>&1 &
done
wait
check "eight processes adding at once: every page is kept" test \
  "$("$linux/qoinfo" --data-dir "$together" search --json together | wc -l)" = 8

# --- Linux and Windows on the same files ------------------------------------------------

if [[ -n $windows ]]; then
  exe=$windows/qoinfo.exe
  w() { local dir=$1; shift; wine_run "$exe" --data-dir "$(winpath "$dir")" "$@"; }
  cat >searches.txt <<'EOF'
["search","--json","hello"]
["search","--json","world","peace","again"]
["search","hello","world"]
["search","--json","absent"]
["search","--json"," hello"]
["stats","--json"]
EOF
  cp -r "$data" "$work/linux-made"
  # An image names the files as its system saw them (a copy, or the other
  # system, sees others): it would be refused, in a line of the log.
  rm -f "$work/linux-made/index.image"
  "$linux/qoinfo" --data-dir "$work/linux-made" batch --file searches.txt >linux.out 2>&1
  w "$work/linux-made" batch --file searches.txt >windows.out 2>&1
  # The data directory in the stats line differs by platform.
  check "windows searches linux files: identical results" \
    cmp <(sed '$d' linux.out) <(sed '$d' windows.out)
  tail -1 windows.out >stats.json
  check "windows stats --json: the Windows path and the same counts" test \
    "$(json_field stats.json '" ".join(str(d[k]) for k in ("data_directory", "visits", "pages", "last_page_id"))')" = \
    "$(winpath "$work/linux-made") 3 3 5"
  expect_out "windows forgets a visit linux added" "forgot http://d/4" \
    w "$work/linux-made" forget --time 400 --url http://d/4
  check "linux reads what windows saved" cmp \
    <(dump "$work/linux-made/1.hcpa") \
    <(echo '{"kind":"records","lastId":5,"records":[{"id":2,"time":1704067200,"url":"http://b/2","path":"","title":""},{"id":4,"time":100,"url":"http://a/1","path":"","title":""}]}')
  expect_out "linux searches after windows forgot" "" \
    "$linux/qoinfo" --data-dir "$work/linux-made" search hello

  # What windows forgets leaves every file of the data directory.
  secret=(zqwinurl Zqwintitle zqwinword)
  w "$work/win-private" add --time 7 --url "http://private.example/${secret[0]}" \
    --title "${secret[1]}" --text "${secret[2]} common" >/dev/null 2>&1
  w "$work/win-private" add --time 8 --url http://other/ --text "common other" >/dev/null 2>&1
  before=$(keeping "$work/win-private" "${secret[@]}")
  w "$work/win-private" forget --time 7 --url "http://private.example/${secret[0]}" >/dev/null 2>&1
  # The page was in the files before, the other page's words stay.
  check "windows: after forget, no data file holds the page's URL, title or own word" \
    test -n "$before" -a -z "$(keeping "$work/win-private" "${secret[@]}")" \
    -a -n "$(keeping "$work/win-private" common)"

  # The other way round: the same batch on both builds makes the same index.
  "$python" - >adds.txt <<'EOF'
import json
texts = ["Hello world", "café CAFÉ (café)", "λόγος ΛΌΓΟΣ", "Москва\u00a0мир", "日本\u3000語",
         "word\u200bjoined ctl\x1cword", "a.b.c; (x) \"q\"", "\U0001D11Enote note", " lead"]
for i, text in enumerate(texts * 3):
    print(json.dumps(["add", "--time", str(1000 + i % 11), "--url", f"http://x/{i % 13}",
                      "--title", f"T{i} ü\"", "--text", text], ensure_ascii=False))
print(json.dumps(["forget", "--time", "1001", "--url", "http://x/1"]))
EOF
  mkdir -p win-made lin-made
  w "$work/win-made" batch --file adds.txt >win-adds.out 2>&1
  "$linux/qoinfo" --data-dir "$work/lin-made" batch --file adds.txt >lin-adds.out 2>&1
  check "windows and linux answer the same adds alike" cmp lin-adds.out win-adds.out
  for f in 1.hcpa 2.hcpb; do
    check "windows and linux write the same $f" cmp <(dump "$work/lin-made/$f") <(dump "$work/win-made/$f")
  done
  cat >searches2.txt <<'EOF'
["search","--json","hello","café"]
["search","--json","λόγος","москва","note"]
["search","--json","日本","c",""]
["search","--json","word\u200bjoined","ctl\u001cword"]
["search","--json"," x"]
EOF
  rm -f "$work/win-made/index.image" "$work/lin-made/index.image"
  "$linux/qoinfo" --data-dir "$work/win-made" batch --file searches2.txt >lin-on-win.out 2>&1
  w "$work/lin-made" batch --file searches2.txt >win-on-lin.out 2>&1
  check "linux searches windows files like windows searches linux files" \
    cmp lin-on-win.out win-on-lin.out
  check "and finds something" test "$(grep -c percent lin-on-win.out)" -ge 10
  expect_status "windows: empty query exits 2 naming E_INVALIDARG" 2 "E_INVALIDARG" \
    w "$work/lin-made" search ""
  expect_status "windows: invalid UTF-8 text exits 2" 2 "invalid UTF-8 at byte 3" \
    w "$work/lin-made" add --time 9 --url http://bad --text-file bad.txt

  # `import` reads the same pages alike on both builds; only the file URLs differ.
  mkdir -p pages/sub
  printf '<title>Alpha</title><p>shared alpha &amp; caf&eacute;</p>' >pages/a.html
  printf '<html><head><meta charset="iso-8859-1"><title>Beta \xe9t\xe9</title></head>
<body>shared <b>be</b>ta<script>hidden</script> \xe9t\xe9</body></html>' >pages/b.htm
  printf '<title>Gamma</title><div>shared shared<div>caf\xc3\xa9 \xff</div></div>' >pages/sub/c.html
  touch -d @1700000000 pages/a.html pages/b.htm pages/sub/c.html
  # The URLs and paths of the pages differ by platform; the rest must not.
  without_places() {
    "$python" -c 'import json, sys
for line in sys.stdin:
    d = json.loads(line)
    print(json.dumps({k: v for k, v in d.items() if k not in ("url", "path")}, ensure_ascii=False, separators=(",", ":")))'
  }
  "$linux/qoinfo" --data-dir "$work/lin-import" import pages >/dev/null 2>&1
  w "$work/win-import" import "$(winpath "$work/pages")" >/dev/null 2>&1
  for query in shared café "été beta" hidden; do
    "$linux/qoinfo" --data-dir "$work/lin-import" search --json "$query" | without_places >"lin-import-$query.out"
    w "$work/win-import" search --json "$query" | without_places >"win-import-$query.out"
    check "import, then search '$query': the same on windows and linux" \
      cmp "lin-import-$query.out" "win-import-$query.out"
  done
  check "the imported pages are found" test "$(wc -l <lin-import-shared.out)" = 3
  check "a page's charset is followed" grep -q '"title":"Beta été"' "lin-import-été beta.out"
  check "scripts are not text" test ! -s lin-import-hidden.out
fi

finish
