#!/usr/bin/env bash
# The Linux server on a private session bus, through clients nobody here
# wrote: busctl and gdbus for every method and every error, Python's D-Bus
# bindings where a call needs a connection that stays, and qoinfo.
#   dbus_service_test.sh LINUX_BIN_DIR
# Each scenario runs on a bus of its own; the bus and the services it
# started end with the scenario, which saves the index.
set -uo pipefail
here=$(dirname "$(realpath "$0")")
source "$here/harness.sh"
source "$here/dbus_bus.sh"
python=/usr/bin/python3

A=QoInfoAgent.ZuInfoAgent
AP=/QoInfoAgent/ZuInfoAgent
AI=QoInfoAgent.IZuInfoAgent
FI=QoInfoAgent.IFind
EI=QoInfoAgent.ISearchDataEnumerator
H=BromHelper.URLBase
HP=/BromHelper/URLBase
HI=BromHelper.IBromURLBase

agent() { busctl --user call $A $AP $AI "$@" 2>&1; }
finder() { busctl --user call $A $AP $FI "$@" 2>&1; }
history() { busctl --user call $H $HP $HI "$@" 2>&1; }
texts() { busctl --user call $H $HP BromHelper.IBromPageTexts "$@" 2>&1; }
enumerator() { local path=$1; shift; busctl --user call $A "$path" $EI "$@" 2>&1; }
gcall() { gdbus call --session --dest "$1" --object-path "$2" --method "$3" "${@:4}" 2>&1; }
# expect NAME WANT COMMAND...: the output of COMMAND is WANT.
expect() {
  local name=$1 want=$2 got; shift 2
  got=$("$@" 2>&1)
  if [[ $got == "$want" ]]; then pass "$name"; else fail "$name" "got '$got', want '$want'"; fi
}
# expect_match NAME PATTERN COMMAND...: the output matches the regex.
expect_match() {
  local name=$1 pattern=$2 got; shift 2
  got=$("$@" 2>&1)
  if [[ $got =~ $pattern ]]; then pass "$name"; else fail "$name" "got '$got'"; fi
}
dump_urls() { "$linux/qoinfo-index" dump "$data/1.hcpa" | "$python" -c '
import json,sys
print(" ".join(sorted(r["url"] for r in json.load(sys.stdin)["records"])))'; }

# --- the scenarios, each on its own bus ------------------------------------

every_method() {
  expect "nothing runs before the first call" "b false" \
    busctl --user call org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus NameHasOwner s $A
  expect "AddData (busctl)" "" agent AddData '(xssss)' 5 http://a 'alpha beta' /p 'Page A'
  expect "AddData (gdbus)" "()" gcall $A $AP $AI.AddData \
    "(int64 6, 'http://b', 'beta gamma beta', '', 'Page B')"
  expect_match "introspection lists the agent's interface" "$AI" \
    busctl --user introspect $A $AP
  local path
  path=$(agent Search s beta | sed -n 's/^o "\(.*\)"$/\1/p')
  check "Search hands out an enumerator object" test -n "$path"
  expect "Count" "" enumerator "$path" Count
  expect_match "GetThis" '^x [0-9]+$' enumerator "$path" GetThis
  expect "Next, best first" 'i(xsssi) 0 6 "http://b" "" "Page B" 240' enumerator "$path" Next
  expect "NextBatch, the rest" 'a(xsssi) 1 5 "http://a" "/p" "Page A" 120' \
    enumerator "$path" NextBatch u 10
  expect "Next at the end" 'i(xsssi) 1 0 "" "" "" 0' enumerator "$path" Next
  expect "NextBatch at the end" 'a(xsssi) 0' enumerator "$path" NextBatch u 10
  expect "Reset" "" enumerator "$path" Reset
  expect "NextBatch after Reset (gdbus)" \
    "([(int64 6, 'http://b', '', 'Page B', 240)],)" \
    gcall $A "$path" $EI.NextBatch 1
  expect "Release" "" enumerator "$path" Release
  expect_match "a released enumerator is gone" "UnknownObject|Unknown object" \
    gcall $A "$path" $EI.Next
  expect "Search of an empty query: E_INVALIDARG" \
    "Error: GDBus.Error:QoInfoAgent.Error.E_INVALIDARG: HRESULT 0x80070057" \
    gcall $A $AP $AI.Search "''"
  expect_match "AddData of a wrong record: InvalidArgs" "InvalidArgs|[Ii]nvalid" \
    agent AddData '(xs)' 1 u
  # Our own IFind beside the specified interface: Find is Search for a
  # plain query, and hands out the same kind of enumerator.
  expect_match "introspection lists IFind" "$FI" busctl --user introspect $A $AP
  path=$(finder Find su beta 0 | sed -n 's/^o "\(.*\)"$/\1/p')
  expect "Find: Search's hits, order and percent" \
    'a(xsssi) 2 6 "http://b" "" "Page B" 240 5 "http://a" "/p" "Page A" 120' \
    enumerator "$path" NextBatch u 10
  expect "Find (gdbus) with an unknown option: E_INVALIDARG" \
    "Error: GDBus.Error:QoInfoAgent.Error.E_INVALIDARG: HRESULT 0x80070057" \
    gcall $A $AP $FI.Find "'beta'" 2
  expect "Snippets of a page with no text kept" 'a(bsa(uu)bb) 1 false "" 0 false false' \
    finder Snippets 'sua(xs)' beta 0 1 99 http://none
  expect "Snippets of no page" 'a(bsa(uu)bb) 0' finder Snippets 'sua(xs)' beta 0 0
  expect "Snippets (gdbus) with an unknown option: E_INVALIDARG, saying so" \
    "Error: GDBus.Error:QoInfoAgent.Error.E_INVALIDARG: HRESULT 0x80070057: options has a bit nobody knows" \
    gcall $A $AP $FI.Snippets "'beta'" 4 "[(int64 5, 'http://a')]"
  expect "Snippets of 257 pages: E_INVALIDARG, saying so" \
    "Error: GDBus.Error:QoInfoAgent.Error.E_INVALIDARG: HRESULT 0x80070057: at most 256 pages a call" \
    gcall $A $AP $FI.Snippets "'beta'" 0 "[$(printf "(int64 %d, 'u')," $(seq 257) | sed 's/,$//')]"
  # An enumerator answers only its owner while the owner is connected.
  expect_match "another connection: AccessDenied" \
    "org.freedesktop.DBus.Error.AccessDenied" "$python" - <<'PY'
import dbus, subprocess
bus = dbus.SessionBus()
agent = bus.get_object("QoInfoAgent.ZuInfoAgent", "/QoInfoAgent/ZuInfoAgent")
path = agent.Search("beta", dbus_interface="QoInfoAgent.IZuInfoAgent")
print(subprocess.run(["gdbus", "call", "--session", "--dest",
    "QoInfoAgent.ZuInfoAgent", "--object-path", path, "--method",
    "QoInfoAgent.ISearchDataEnumerator.Next"], capture_output=True,
    text=True).stderr)
PY

  # The history's own methods.
  expect "AddVisit, new" "iu 0 1" history AddVisit xsss 7 http://c /c 'Page C'
  expect "AddVisit, known" "iu 1 1" history AddVisit xsss 7 http://c /c 'Page C'
  expect "FindVisit" "iu 0 1" history FindVisit xs 7 http://c
  expect "FindVisit, none" "iu 1 0" history FindVisit xs 8 http://c
  expect "Count" "u 1" history Count
  expect "GetData" '(xsssi) 7 "http://c" "/c" "Page C" 0' history GetData u 1
  expect "GetData, no such visit: URLBASE_E_NOVISIT" \
    "Error: GDBus.Error:BromHelper.Error.URLBASE_E_NOVISIT: HRESULT 0x80070490" \
    gcall $H $HP $HI.GetData 9
  expect "NextVisit" "iu 0 1" history NextVisit u 0
  expect "NextVisit, after the last" "iu 1 0" history NextVisit u 1
  expect "GetDataDirectory" "s \"$data\"" history GetDataDirectory
  expect_match "Advise" '^u [0-9]+$' history Advise o /nowhere
  expect "Unadvise of no sink: CONNECT_E_NOCONNECTION" \
    "Error: GDBus.Error:BromHelper.Error.CONNECT_E_NOCONNECTION: HRESULT 0x80040200" \
    gcall $H $HP $HI.Unadvise 999
  # The agent's page of http://c goes with the visit, told by the event.
  agent AddData '(xssss)' 7 http://c 'delta' /c 'Page C' >/dev/null
  # The agent handed the page's text to the history.
  expect "GetText: the text the agent filed" 'is 0 "delta"' texts GetText xs 7 http://c
  expect "GetText, none kept" 'is 1 ""' texts GetText xs 8 http://c
  expect "StoreText, no such visit" "i 1" texts StoreText xss 9 http://c x
  expect_match "GetTextTotals" '^bux true 1 [0-9]+$' texts GetTextTotals
  expect "RemoveVisit" "i 0" history RemoveVisit u 1
  expect "the text went with the visit" 'is 1 ""' texts GetText xs 7 http://c
  expect "RemoveVisit, no such visit: URLBASE_E_NOVISIT" \
    "Error: GDBus.Error:BromHelper.Error.URLBASE_E_NOVISIT: HRESULT 0x80070490" \
    gcall $H $HP $HI.RemoveVisit 1
  path=$(agent Search s delta | sed -n 's/^o "\(.*\)"$/\1/p')
  expect "the removed visit's page left the index" 'a(xsssi) 0' \
    enumerator "$path" NextBatch u 10
  history AddVisit xsss 8 http://d '' '' >/dev/null
  expect "RemoveAll" "" history RemoveAll
  expect "RemoveAll emptied the history" "u 0" history Count
  # A visit's page has its text kept: snippets and phrases.
  history AddVisit xsss 9 http://s '' 'Page S' >/dev/null
  agent AddData '(xssss)' 9 http://s 'The lighthouse keeper, at night' '' 'Page S' >/dev/null
  expect "Snippets: the kept text's passage, the query's words marked" \
    'a(bsa(uu)bb) 1 true "The lighthouse keeper, at night" 2 4 10 15 6 false false' \
    finder Snippets 'sua(xs)' 'keeper lighthouse' 0 1 9 http://s
  path=$(finder Find su '"lighthouse keeper"' 0 | sed -n 's/^o "\(.*\)"$/\1/p')
  expect "Find of a phrase" 'a(xsssi) 1 9 "http://s" "" "Page S" 120' \
    enumerator "$path" NextBatch u 10
  path=$(gcall $A $AP $FI.Find "'keeper lighth'" 1 | sed -n "s/^(objectpath '\(.*\)',)$/\1/p")
  expect "Find with a prefix (gdbus)" "([(int64 9, 'http://s', '', 'Page S', 160)],)" \
    gcall $A "$path" $EI.NextBatch 10
  history RemoveAll >/dev/null
  expect "SetKeepTexts false" "" texts SetKeepTexts b false
  expect "GetTextTotals after it" "bux false 0 0" texts GetTextTotals
  texts SetKeepTexts b true >/dev/null
}

after_saving() {
  expect "SIGTERM saved both index files" "http://a http://b" dump_urls
  expect "re-activation loads them" \
    "$(printf '240%%\t1970-01-01T00:00:06Z\thttp://b\tPage B\n120%%\t1970-01-01T00:00:05Z\thttp://a\tPage A')" \
    "$linux/qoinfo" --server search beta
  "$linux/qoinfo" --server add --time 9 --url http://e --text "epsilon" >/dev/null
  expect_match "qoinfo config store-text through the history's service" \
    '^store-text on \(1 texts kept, [0-9]+ bytes\)$' "$linux/qoinfo" --server config store-text
  local pid
  pid=$(busctl --user call org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus GetConnectionUnixProcessID s $A | cut -d' ' -f2)
  kill -TERM "$pid"
  while kill -0 "$pid" 2>/dev/null; do sleep 0.1; done
  expect "SIGTERM of a started server saves at once" \
    "http://a http://b http://e" dump_urls
}

two_clients() {
  local i
  for client in 1 2; do
    (for ((i = 0; i < 40; i++)); do
       "$linux/qoinfo" --server add --time $i --url "http://c$client/$i" \
         --text "shared client$client" >/dev/null || echo "add failed"
     done) &
  done
  wait
  expect "two clients at once: every page arrived" 80 \
    bash -c "'$linux/qoinfo' --server search --json shared | wc -l"
  expect "and each client's own" 40 \
    bash -c "'$linux/qoinfo' --server search --json client2 | wc -l"
}

burst_then_sigterm() {
  # Adds pages until the server goes; each acknowledged one is written down.
  "$python" - "$work/acknowledged" <<'PY'
import dbus, os, signal, sys
bus = dbus.SessionBus()
agent = bus.get_object("QoInfoAgent.ZuInfoAgent", "/QoInfoAgent/ZuInfoAgent")
pid = bus.call_blocking("org.freedesktop.DBus", "/org/freedesktop/DBus",
    "org.freedesktop.DBus", "GetConnectionUnixProcessID", "s",
    ["QoInfoAgent.ZuInfoAgent"])
with open(sys.argv[1], "w") as out:
    for n in range(100000):
        if n == 300:
            os.kill(pid, signal.SIGTERM)
        try:
            agent.AddData((n, f"http://burst/{n}", f"burst word{n}", "", ""),
                          dbus_interface="QoInfoAgent.IZuInfoAgent")
        except dbus.DBusException:
            break
        out.write(f"http://burst/{n}\n")
        out.flush()
PY
}

after_burst() {
  local saved missing
  saved=$(dump_urls | tr ' ' '\n')
  missing=$(comm -23 <(sort "$work/acknowledged") <(sort <<<"$saved") | wc -l)
  check "a burst interrupted by SIGTERM: acknowledged pages were added" \
    test "$(wc -l <"$work/acknowledged")" -ge 300
  expect "every acknowledged page is in the saved files" 0 echo "$missing"
}

owner_leaves() {
  local path
  path=$("$python" - <<'PY'
import dbus
bus = dbus.SessionBus()
agent = bus.get_object("QoInfoAgent.ZuInfoAgent", "/QoInfoAgent/ZuInfoAgent")
agent.AddData((1, "http://x", "leaving words", "", ""),
              dbus_interface="QoInfoAgent.IZuInfoAgent")
path = agent.Search("words", dbus_interface="QoInfoAgent.IZuInfoAgent")
bus.get_object("QoInfoAgent.ZuInfoAgent", path).Next(
    dbus_interface="QoInfoAgent.ISearchDataEnumerator")
print(path)
PY
)
  # Within the grace period a client of the same user carries on.
  expect "after its owner left, the enumerator is still served" \
    'a(xsssi) 0' enumerator "$path" NextBatch u 5
  local i gone=1
  for ((i = 0; i < 250; i++)); do
    if ! busctl --user tree $A 2>/dev/null | grep -q "$path"; then gone=0; break; fi
    sleep 0.1
  done
  expect "it goes after the grace period" 0 echo $gone
}

refuses_system_bus() {
  expect_match "the agent refuses the system bus" "refusing to serve on the system bus" \
    env DBUS_STARTER_BUS_TYPE=system "$linux/qoinfoagent"
  expect_match "the history refuses it too" "refusing to serve on the system bus" \
    env DBUS_STARTER_BUS_TYPE=system "$linux/bromhelper"
}

qoinfo_commands() {
  # The same commands, embedded in one folder and through the server in the
  # other, print the same and end the same.
  local script=$work/commands other=$work/embedded
  # Text the bus cannot carry as it is: a NUL (where the agent stops
  # reading) and noncharacters (U+FFFF, U+FDD0).
  local nc=$'\xef\xbf\xbf'
  printf 'alpha\0beta gamma' >"$work/nul.txt"
  printf 'odd\xef\xbf\xbf words \xef\xb7\x90' >"$work/nonchar.txt"
  cat >"$script" <<CMDS
add --time 5 --url http://a --title A --text alpha beta
add --time 5 --url http://a --title A --text alpha beta
add --time 6 --url http://b --text beta beta gamma --json
search beta
search --json --limit 1 beta
search
forget --time 5 --url http://a
forget --time 5 --url http://a --json
search beta alpha
add --time x --url http://a --text t
add --time 7 --url http://nul --text-file $work/nul.txt
search gamma
search alpha
add --time 8 --url http://odd/$nc --title T$nc --text-file $work/nonchar.txt
search odd$nc
search --json words
forget --time 8 --url http://odd/$nc
CMDS
  local line status_embedded status_server out_embedded out_server same=0
  while read -r -a words; do
    if [[ ${words[0]} == add && ${words[5]} == --text ]]; then
      local text="${words[*]:6}"; words=("${words[@]:0:6}" "$text")
    fi
    out_embedded=$("$linux/qoinfo" --embedded --data-dir "$other" "${words[@]}" 2>&1)
    status_embedded=$?
    out_server=$("$linux/qoinfo" --server "${words[@]}" 2>&1)
    status_server=$?
    if [[ $out_embedded != "$out_server" || $status_embedded != "$status_server" ]]; then
      fail "qoinfo ${words[*]}: same in both modes" \
        "embedded ($status_embedded) '$out_embedded', server ($status_server) '$out_server'"
      same=1
    fi
  done <"$script"
  ((same == 0)) && pass "qoinfo prints the same and exits the same in both modes"
  expect_match "--server with another data directory fails clearly" \
    "the server keeps its data in" "$linux/qoinfo" --server --data-dir "$other" stats
}

# pid_of NAME: the process that owns the bus name.
pid_of() {
  busctl --user call org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus GetConnectionUnixProcessID s "$1" | cut -d' ' -f2
}

large_hits() {
  # One hit over the bus's 64 MiB array limit, and 300 hits of 40 KiB
  # (12 MB, more than one batch carries).
  "$python" - <<'PY'
import dbus
bus = dbus.SessionBus()
agent = bus.get_object("QoInfoAgent.ZuInfoAgent", "/QoInfoAgent/ZuInfoAgent")
add = lambda page: agent.AddData(page, dbus_interface="QoInfoAgent.IZuInfoAgent",
                                 timeout=120)
add((1, "http://huge", "huge", "", "t" * (65 << 20)))
for n in range(300):
    add((n, f"http://many/{n}", "many", "", f"{n:03} " + "m" * (40 << 10)))
PY
  local pid
  pid=$(pid_of $A)
  expect "a hit of 65 MiB arrives through the server, its title cut to 16 MiB" \
    "1 $((16 << 20))" bash -c "'$linux/qoinfo' --server search --json huge | '$python' -c '
import json, sys
hits = [json.loads(line) for line in sys.stdin]
print(len(hits), len(hits[0][\"title\"]) if hits else 0)'"
  expect "the server answered it and serves on" "$pid" pid_of $A
  expect "300 hits of 40 KiB: all arrive" 300 \
    bash -c "'$linux/qoinfo' --server search many | wc -l"
}

careless_clients() {
  "$linux/qoinfo" --server add --time 1 --url http://f --text "first words" >/dev/null
  "$linux/qoinfo" --server add --time 2 --url http://k --text "kept words" >/dev/null
  # Someone else on the bus calls the agent's event sink.
  local sink
  sink=$(busctl --user tree $A 2>/dev/null | grep -o '/QoInfoAgent/URLBaseEvents/[0-9]*' | head -1)
  expect_match "a foreign caller on the agent's sink: AccessDenied" \
    "org.freedesktop.DBus.Error.AccessDenied" \
    gcall $A "$sink" BromHelper.IBromURLBaseEvents.OnDataBeforeRemove 2
  expect "and the page stays in the index" 1 \
    bash -c "'$linux/qoinfo' --server search --json kept | wc -l"
  # A subscriber that never answers (its connection never reads), then a
  # forget and, while the history waits for it, an add.
  "$python" - "$work/subscribed" <<'PY' &
import dbus, sys, time
bus = dbus.SessionBus()
bus.get_object("BromHelper.URLBase", "/BromHelper/URLBase").Advise(
    "/silent", dbus_interface="BromHelper.IBromURLBase")
open(sys.argv[1], "w").close()
time.sleep(120)
PY
  local silent=$! i
  for ((i = 0; i < 100; i++)); do
    [[ -e $work/subscribed ]] && break
    sleep 0.1
  done
  "$linux/qoinfo" --server forget --time 1 --url http://f >"$work/forget.out" 2>&1 &
  local forget=$!
  sleep 1
  expect "a silent subscriber: an add meanwhile succeeds" "added http://g" \
    "$linux/qoinfo" --server add --time 3 --url http://g --text "new words"
  wait $forget
  local forget_status=$?
  expect "and the forget succeeds" "0 forgot http://f" \
    echo "$forget_status $(cat "$work/forget.out")"
  expect "both are done: the index holds what they say" \
    "$(printf 'http://g\nhttp://k')" \
    bash -c "'$linux/qoinfo' --server search words | grep -v '^    ' | cut -f3 | sort"
  kill $silent
  # An agent busy for longer than the history waits (a save of a large
  # index) takes the page out when it comes to the removal.
  "$linux/qoinfo" --server add --time 4 --url http://busy --text "busy" >/dev/null
  local agent_pid
  agent_pid=$(busctl --user call org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus GetConnectionUnixProcessID s $A | cut -d' ' -f2)
  local visit
  visit=$(history FindVisit xs 4 http://busy | cut -d' ' -f3)
  kill -STOP "$agent_pid"
  expect "the history drops a visit while the agent is busy" "i 0" \
    history RemoveVisit u "$visit"
  kill -CONT "$agent_pid"
  expect "and the busy agent drops the page once it can" 0 \
    bash -c "'$linux/qoinfo' --server search busy | wc -l"
}

queued_at_exit() {
  # A call that reaches the history just as it ends is still answered.
  history Count >/dev/null
  expect "a call queued at the history's end is answered" "reply 0" \
    "$python" - <<'PY'
import dbus, dbus.lowlevel, os, signal
bus = dbus.SessionBus()
daemon = ("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus")
pid = bus.call_blocking(*daemon, "GetConnectionUnixProcessID", "s",
                        ["BromHelper.URLBase"])
os.kill(pid, signal.SIGSTOP)
call = dbus.lowlevel.MethodCallMessage("BromHelper.URLBase", "/BromHelper/URLBase",
                                       "BromHelper.IBromURLBase", "AddVisit")
call.append(9, "http://queued", "", "", signature="xsss")
answers = []
pending = bus.send_message_with_reply(call, answers.append, 20)
# The bus has routed the call once it answers the next one.
bus.call_blocking(*daemon, "GetId", "", [])
os.kill(pid, signal.SIGTERM)
os.kill(pid, signal.SIGCONT)
pending.block()
reply = answers[0]
print("reply", reply.get_args_list()[0] if
      reply.get_type() == dbus.lowlevel.MESSAGE_TYPE_METHOD_RETURN else reply.get_error_name())
PY
  expect "and what it did is kept" "iu 0 1" history FindVisit xs 9 http://queued
}

# --- running them ----------------------------------------------------------

if [[ ${1:-} == --in-bus ]]; then
  scenario=$2 linux=$3 work=$4 data=$5
  "$scenario"
  exit 0
fi

e2e_setup "$1"
python=/usr/bin/python3
dbus_setup
# in_bus SCENARIO: runs it on a new bus and counts its results.
run_in_bus() {
  local output
  output=$(in_bus "$0" --in-bus "$1" "$linux" "$work" "$data" 2>"$work/bus.log")
  echo "$output"
  E2E_PASSED=$((E2E_PASSED + $(grep -c '^PASS' <<<"$output")))
  E2E_FAILED=$((E2E_FAILED + $(grep -c '^FAIL' <<<"$output")))
  wait_services_end || fail "$1: the services ended with the bus"
}
fresh_data() { rm -rf "$data" && mkdir -p "$data"; }

run_in_bus every_method
run_in_bus after_saving
fresh_data; run_in_bus two_clients
fresh_data; run_in_bus burst_then_sigterm; after_burst
fresh_data; run_in_bus owner_leaves
refuses_system_bus
fresh_data; run_in_bus qoinfo_commands
fresh_data; run_in_bus large_hits
fresh_data; run_in_bus careless_clients
fresh_data; run_in_bus queued_at_exit
finish
