#!/usr/bin/env bash
# What qoinfo does with damaged or missing index files, files that are not
# files, hostile page titles, interruptions and failed output: nothing that
# was acknowledged is lost, and every loss or refusal is said out loud.
# Usage: data_safety_test.sh LINUX_BIN_DIR
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/harness.sh"
e2e_setup "$@"
cd "$work" || exit 1

q() { timeout 20 "$linux/qoinfo" --data-dir "$data" "$@"; }
json_field() {
  "$python" -c 'import json,sys; d=json.load(open(sys.argv[1])); print(eval(sys.argv[2]))' "$1" "$2"
}

# expect NAME STATUS PATTERN COMMAND...: that exit status and the pattern in
# standard error.
expect() {
  local name=$1 want=$2 pattern=$3; shift 3
  "$@" >out 2>err </dev/null
  local got=$?
  if [[ $got == "$want" ]] && { [[ -z $pattern ]] || grep -q -- "$pattern" err; }; then
    pass "$name"
  else
    fail "$name" "status $got (expected $want); stderr: $(head -c 400 err)"
  fi
}

# A data directory of 60 pages, saved.
fresh_index() {
  data=$work/data-$1
  rm -rf "$data"
  for i in $(seq 1 60); do
    printf '["add","--time","%d","--url","http://site/%d","--title","page %d","--text","common words of page number%d and more text %d"]\n' \
      "$i" "$i" "$i" "$i" "$((i * 7))"
  done >pages.jsonl
  q batch --file pages.jsonl >/dev/null
}

# --- a missing or unreadable file never costs its partner ------------------

for damage in missing zeros random truncated; do
  for victim in 1.hcpa 2.hcpb; do
    fresh_index "$damage-$victim"
    partner=$([[ $victim == 1.hcpa ]] && echo 2.hcpb || echo 1.hcpa)
    cp "$data/$partner" partner.saved
    size=$(stat -c %s "$data/$victim")
    case $damage in
      missing) rm "$data/$victim" ;;
      zeros) head -c "$size" /dev/zero >"$data/$victim" ;;
      random) head -c "$size" /dev/urandom >"$data/$victim" ;;
      truncated) truncate -s $((size / 3)) "$data/$victim" ;;
    esac
    [[ -f $data/$victim ]] && cp "$data/$victim" victim.saved
    expect "$victim $damage: the agent refuses to start and says what to do" 1 \
      "start a new, empty index" q search common
    check "$victim $damage: $partner is left byte for byte" cmp -s partner.saved "$data/$partner"
    if [[ $damage != missing ]]; then
      check "$victim $damage: $victim is left byte for byte" cmp -s victim.saved "$data/$victim"
    fi
  done
done

# --- damage inside a file is recovered, and said so every time -------------

fresh_index middle
size=$(stat -c %s "$data/1.hcpa")
dd if=/dev/urandom of="$data/1.hcpa" bs=1 seek=$((size / 2)) count=2048 conv=notrunc 2>/dev/null
expect "damage in the middle: exit 3, the loss reported" 3 "were recovered and the rest was dropped" \
  q search common
q stats --json >stats.json
check "stats names the damaged copy" test "$(json_field stats.json 'len(d["damaged_copies"])')" = 1
check "qoinfo-index check points at the copy" \
  grep -q "copied to .*1.hcpa.damaged-" <("$linux/qoinfo-index" check "$data/1.hcpa")
expect "after the recovery the index is sound again" 0 "" q search common

# --- files that are not files -----------------------------------------------

fresh_index devices
ln -sf /dev/zero "$data/2.hcpb.link" && mv -f "$data/2.hcpb.link" "$data/2.hcpb"
expect "2.hcpb pointing at /dev/zero is refused" 1 "not a regular file" q search common
rm "$data/2.hcpb" && mkfifo "$data/2.hcpb"
expect "a FIFO as 2.hcpb is refused, not waited on" 1 "not a regular file" q search common
expect "qoinfo-index check of a FIFO" 1 "" timeout 20 "$linux/qoinfo-index" check "$data/2.hcpb"
check "qoinfo-index check of a FIFO says why" grep -q "not a regular file" out

# --- bad input files never abort ----------------------------------------------

fresh_index input
expect "add --text-file of a folder" 1 "is not a regular file" \
  q add --time 1000 --url http://x/ --text-file /tmp
expect "words --text-file of a folder" 1 "is not a regular file" q words --text-file /tmp
printf '%s\n' '["add","--time","1001","--url","http://kept/","--text","kept page"]' \
  '["add","--time","1002","--url","http://y/","--text-file","/tmp"]' >mixed.jsonl
expect "a batch line with a folder fails alone" 1 "is not a regular file" q batch --file mixed.jsonl
expect "the lines before it are kept" 0 "" q search kept
check "the kept page is found" grep -q "http://kept/" out
expect "batch --file of a folder" 1 "is not a regular file" q batch --file /tmp
printf '   \n\t\n["search","kept"]\n' >blank.jsonl
expect "blank and white-space lines are skipped alike" 0 "" q batch --file blank.jsonl

# --- interruptions stop in order and keep the work --------------------------

fresh_index signals
mkfifo commands
( for i in $(seq 2001 2040); do
    printf '["add","--time","%d","--url","http://signal/%d","--text","interrupted batch"]\n' "$i" "$i"
  done; sleep 30 ) >commands &
writer=$!
"$linux/qoinfo" --data-dir "$data" batch <commands >batch.out 2>batch.err &
batch=$!
for _ in $(seq 1 100); do
  [[ $(grep -c added batch.out 2>/dev/null) == 40 ]] && break
  sleep 0.1
done
kill -TERM $batch
wait $batch
status=$?
kill $writer 2>/dev/null; wait $writer 2>/dev/null
check "SIGTERM ends a waiting batch with 143" test "$status" = 143
check "and says the work is saved" grep -q "interrupted" batch.err
q search --json interrupted >found.jsonl
check "every page acknowledged before SIGTERM is found" test "$(wc -l <found.jsonl)" = 40
q search common | head -1 >/dev/null
check "a closed output pipe is no failure of the index" test "$(q search --json common | wc -l)" = 60

# --- what pages choose is not sent to the terminal raw ----------------------

fresh_index escapes
q add --time 3000 --url $'http://evil/\e]0;owned\a' --title $'\e[31mred\e[0m \u202eright' \
  --text "escape sequence" >add.out
q search escape >search.out
check "no ESC byte reaches the terminal" bash -c "! grep -q $'\e' search.out add.out"
check "the escapes stay visible" grep -qF '\x1B[31mred' search.out
q search --json escape >search.json
check "--json keeps the exact text" test "$(json_field search.json 'd["title"]')" = $'\e[31mred\e[0m \u202eright'

# --- smaller things ---------------------------------------------------------

expect "search -h prints the usage" 0 "" q search -h
check "search -h is not a query" grep -q "usage: qoinfo search" out
expect "qoinfo --version" 0 "" "$linux/qoinfo" --version
expect "qoinfo-index --version" 0 "" "$linux/qoinfo-index" --version
expect "forget of an unknown visit names the HRESULT" 1 "URLBASE_E_NOVISIT" \
  q forget --time 1 --url http://none/ --json
check "and prints the failure under --json" grep -q '"symbol":"URLBASE_E_NOVISIT"' out
expect "output to a full disk is an error" 1 "could not be written" \
  bash -c "\"$linux/qoinfo\" --data-dir \"$data\" search common >/dev/full"
head -c 5000 /dev/urandom >"$data/index.journal.bad" && cat "$data/index.journal.bad" >>"$data/index.journal"
expect "a torn journal tail is dropped and reported" 3 "change journal" q search common

finish
