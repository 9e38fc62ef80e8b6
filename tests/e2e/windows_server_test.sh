#!/usr/bin/env bash
# The Windows servers under wine64, in a fresh prefix: QoInfoAgent.exe as a
# COM local server and as a Windows service, BromHelper.exe as the shared
# history, their registration read back from the registry, clients of ours
# (agent_client.exe), qoinfo.exe and the browser's native host reaching them. Wine runs on a virtual
# display (Xvfb) so that the end of the session reaches the servers' windows.
#   windows_server_test.sh WIN64_BIN_DIR
set -u
source "$(dirname "$0")/harness.sh"
e2e_setup "$1" "$1"
# What --version prints: the project's version.
version="QoInfoAgent $(project_version)"
cd "$work"
wine_work_prefix

display=:$((90 + RANDOM % 100))
Xvfb "$display" -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'wine_stop; kill $xvfb 2>/dev/null; [[ -n ${KEEP_WORK:-} ]] || rm -rf "$work"' EXIT
export WINE64 WINESERVER
export DISPLAY=$display
wine_fresh_prefix

agent=$windows/QoInfoAgent.exe
helper=$windows/BromHelper.exe
client() { timeout 120 "$WINE64" "$windows/agent_client.exe" "$@"; }
server_running() { pgrep -f "$1" >/dev/null; }
# Waits (at most a minute) until no process of `name` is left.
wait_gone() { local i; for i in $(seq 600); do server_running "$1" || return 0; sleep 0.1; done; return 1; }
reg_query() { timeout 60 "$WINE64" reg query "$@" 2>/dev/null | tr -d '\r'; }
has_key() { timeout 60 "$WINE64" reg query "$1" >/dev/null 2>&1; }
agent_clsid='HKCR\CLSID\{E0496837-6C93-4C59-8DE9-50E54295C207}'
enum_clsid='HKCR\CLSID\{4AC0CA7E-E879-4C24-A4A4-EE202203F611}'
appid='HKCR\AppID\{12F97166-B0F9-4C8D-ADB1-7142444751C8}'
services='HKLM\System\CurrentControlSet\Services\QoInfoAgent'

# --- before registration ------------------------------------------------------

timeout 60 "$WINE64" "$agent"; status=$?
check "an unregistered server exits with 2 and serves nothing" test "$status" = 2
for server in "$agent" "$helper"; do
  check "$(basename "$server") /Version prints $version to its standard output" \
    test "$(timeout 60 "$WINE64" "$server" /Version | tr -d '\r')" = "$version"
done

# --- registration ----------------------------------------------------------------

timeout 60 "$WINE64" "$agent" /RegServer; check "/RegServer succeeds" test $? = 0
timeout 60 "$WINE64" "$helper" -regserver; check "BromHelper -regserver succeeds" test $? = 0
reg_query "$agent_clsid" /s >agent.reg
module="\"$(winpath "$windows")\\QoInfoAgent.exe\""
check "the agent's class names its friendly name and AppID" \
  grep -q 'REG_SZ    CZuInfoAgent Object' agent.reg
check "LocalServer32 is the quoted module, threading model free" \
  grep -qF "REG_SZ    $module" agent.reg
check "LocalServer32's ThreadingModel" grep -q 'ThreadingModel    REG_SZ    free' agent.reg
check "the class names its ProgIDs, type library and Programmable" \
  bash -c "grep -q 'QoInfoAgent.ZuInfoAgent.1' agent.reg && grep -q 'VersionIndependentProgID' agent.reg && grep -q 'Programmable' agent.reg && grep -q 'TypeLib' agent.reg"
check "the enumerator's class is registered" has_key "$enum_clsid\\LocalServer32"
check "the version-independent ProgID names the current version" \
  bash -c "$(declare -f reg_query); reg_query 'HKCR\\QoInfoAgent.SearchDataEnumerator\\CurVer' | grep -q 'QoInfoAgent.SearchDataEnumerator.1'"
check "the application identity and the executable's AppID" \
  bash -c "$(declare -f reg_query); reg_query '$appid' | grep -q 'REG_SZ    QoInfoAgent' && reg_query 'HKCR\\AppID\\QoInfoAgent.EXE' | grep -q 'AppID    REG_SZ    {12F97166'"
check "the type library is registered, also under the neutral locale" \
  has_key 'HKCR\TypeLib\{12F97166-B0F9-4C8D-ADB1-7142444751C8}\1.0\0\win64'
check "our own IFind library is registered beside the published one" \
  has_key 'HKCR\TypeLib\{6153A626-FD95-437F-BD22-AF07FBE0FDA6}\1.0\0\win64'
check "the history's class and type library are registered" \
  bash -c "$(declare -f has_key); has_key 'HKCR\\CLSID\\{9F1366DD-E157-4962-84F5-57066BB8506A}\\LocalServer32' && has_key 'HKCR\\Interface\\{EC59A1BD-C8CF-4F75-B245-E0D055A94C66}'"
check "the history's page-texts interface is registered for the type-library marshaller" \
  has_key 'HKCR\Interface\{5224C316-E33F-4E2E-AFA9-E48B065BDC4B}\TypeLib'

# A stale value under the class key, a key someone added below a ProgID.
timeout 60 "$WINE64" reg add "$agent_clsid" /v Stale /d old /f >/dev/null 2>&1
timeout 60 "$WINE64" "$agent" /RegServer; check "a second /RegServer succeeds" test $? = 0
check "a second /RegServer leaves no stale value under the class key" \
  bash -c "! $(declare -f reg_query); ! reg_query '$agent_clsid' | grep -q Stale"

# --- a client through the vtable and IDispatch ------------------------------------

client c1.out agent add 1 http://a/ "alpha words here" add 2 http://b/ "alpha beta" \
  search alpha dispatch alpha release >c1.log 2>&1
check "client: pages added and found best first through the vtable" \
  test "$(grep '^hit' c1.out | tr -d '\r' | tr '\n' ' ')" = "hit 2 http://b/ 150 hit 1 http://a/ 150 "
check "client: DISPIDs of AddData and Search are 1 and 2" \
  bash -c "grep -q 'dispid AddData 1 0x00000000' c1.out && grep -q 'dispid Search 2 0x00000000' c1.out"
check "client: DISPIDs of Next, Reset, Count, GetThis are 1 to 4" \
  bash -c "grep -q 'dispid Next 1 ' c1.out && grep -q 'dispid Reset 2 ' c1.out && grep -q 'dispid Count 3 ' c1.out && grep -q 'dispid GetThis 4 ' c1.out"
check "client: Count through Invoke, a surplus argument refused" \
  bash -c "grep -q 'count 0x00000000' c1.out && grep -q 'count-with-argument 0x8002000E' c1.out"
check "client: every step succeeded" grep -q '^done' c1.out
check "the server stays after its client left (its agent listens to the history)" \
  server_running QoInfoAgent.exe

client p.out progid search beta >/dev/null 2>&1
check "the agent is reached through its ProgID too" grep -q '^hit 2 http://b/' p.out
# Our own IFind, from a type library of its own beside the published one:
# a phrase, and the passage of a visit's kept text with its marks.
client f.out visit 9 http://s/ agent add 9 http://s/ "The lighthouse keeper" \
  find '"lighthouse keeper"' 0 find lighth 1 >/dev/null 2>&1
check "IFind out of process: Find of a phrase and of a prefix, each hit's Snippet marked" \
  test "$(grep -v '^visit' f.out | tr -d '\r' | tr '\n' '|')" = \
  'hit 9 http://s/ 120|snippet 0 0 4+10,15+6 The lighthouse keeper|hit 9 http://s/ 300|snippet 0 0 4+10 The lighthouse keeper|done|'
client f.out forget 9 http://s/ >/dev/null 2>&1

# --- two clients at once share one agent -------------------------------------------

client a.out agent add 3 http://c/ "gamma shared" touch a.ready wait b.done search delta >a.log 2>&1 &
first=$!
client b.out wait a.ready agent search gamma add 4 http://d/ "delta" touch b.done >b.log 2>&1
wait $first
check "the second client finds the first one's page" grep -q '^hit 3 http://c/' b.out
check "the first client finds the second one's page" grep -q '^hit 4 http://d/' a.out

# --- a removal through qoinfo.exe reaches the server's index through the history -----

client v.out visit 5 http://e/ agent add 5 http://e/ "epsilon page" search epsilon >/dev/null 2>&1
check "the visit's page is indexed" grep -q '^hit 5 http://e/' v.out
# The agent's server handed the page's text to the history's server.
timeout 120 "$WINE64" "$windows/qoinfo.exe" config store-text >texts.out 2>&1
check "the history's server keeps the text the agent's server filed" \
  grep -q '^store-text on (1 texts kept' texts.out || echo "  got: $(head -c 300 texts.out)"
timeout 120 "$WINE64" "$windows/qoinfo.exe" forget --time 5 --url http://e/ >forget.out 2>&1
check "qoinfo forget through the history server succeeds" test $? = 0
timeout 120 "$WINE64" "$windows/qoinfo.exe" config store-text >texts.out 2>&1
check "the text went with the visit" grep -q '^store-text on (0 texts kept' texts.out
client v2.out agent search epsilon >/dev/null 2>&1
check "the server's index lost the page" bash -c "! grep -q '^hit' v2.out && grep -q '^done' v2.out"
# Within seconds, while both servers run, no file holds what was forgotten.
client s.out visit 6 http://private.example/zqwinurl agent add 6 http://private.example/zqwinurl \
  "zqwinword page" >/dev/null 2>&1
timeout 120 "$WINE64" "$windows/qoinfo.exe" forget --time 6 --url http://private.example/zqwinurl \
  >forget.out 2>&1
for _ in $(seq 1 150); do
  [[ -z $(keeping "$data" zqwinurl zqwinword) ]] && break
  sleep 0.1
done
check "the forgotten page leaves the data directory's files within seconds, the servers running" \
  bash -c "$(declare -f holds keeping server_running)
           test -z \"\$(keeping '$data' zqwinurl zqwinword)\" &&
           server_running QoInfoAgent.exe && server_running BromHelper.exe"

# --- the browser's native host through the servers -----------------------------------

# A visit, a search, a malformed frame, a forget: one reply each, nothing
# else on standard output, which ends with the host (no server holds it).
timeout 120 "$python" - "$WINE64" "$windows/qoinfo-native-host.exe" >host.out 2>host.err <<'PY'
import json, struct, subprocess, sys
def frame(m):
    b = m if isinstance(m, bytes) else json.dumps(m).encode()
    return struct.pack("=I", len(b)) + b
host = subprocess.Popen(sys.argv[1:], stdin=subprocess.PIPE, stdout=subprocess.PIPE)
host.stdin.write(frame({"id": 1, "type": "visit", "time": 7, "url": "https://h/",
                        "title": "Pâté", "text": "hostword page"}) +
                 frame({"id": 2, "type": "search", "query": "hostword"}) + frame(b"{") +
                 frame({"id": 3, "type": "forget", "time": 7, "url": "https://h/"}))
host.stdin.close()
out = host.stdout.read()
while len(out) >= 4:
    (n,) = struct.unpack("=I", out[:4])
    print(json.dumps(json.loads(out[4:4 + n]), ensure_ascii=False))
    out = out[4 + n:]
print("left", len(out), "exit", host.wait())
PY
check "the native host files a visit through the servers" \
  grep -qF '{"id": 1, "ok": true, "new": true, "indexed": true}' host.out
check "the native host finds it" grep -qF '"url": "https://h/", "path": "", "title": "Pâté"' host.out
check "the native host answers a malformed frame and goes on" \
  bash -c "grep -q '\"ok\": false' host.out && grep -qF '{\"id\": 3, \"ok\": true}' host.out"
check "the native host's output holds frames only, and ends with it" grep -qx 'left 0 exit 0' host.out
timeout 120 "$WINE64" "$windows/qoinfo.exe" install-browser --browser chrome >install.out 2>&1
check "install-browser names the manifest in the user's registry" bash -c \
  "$(declare -f reg_query); reg_query 'HKCU\\Software\\Google\\Chrome\\NativeMessagingHosts\\qoinfo.native_host' | grep -q 'qoinfo.native_host.json'"
timeout 120 "$WINE64" "$windows/qoinfo.exe" uninstall-browser --browser chrome >>install.out 2>&1
check "uninstall-browser removes the key" bash -c \
  "$(declare -f has_key); ! has_key 'HKCU\\Software\\Google\\Chrome\\NativeMessagingHosts\\qoinfo.native_host'"

# --- load: four qoinfo.exe clients at once through the server ---------------------

for k in 1 2 3 4; do
  for i in $(seq 1 60); do
    printf '["add","--time","%d","--url","http://load%d/%d","--text","load%d page%d shared words"]\n' \
      "$((k * 1000 + i))" "$k" "$i" "$k" "$i"
    ((i % 3 == 0)) && printf '["search","--json","load%d"]\n' "$k"
  done >"load$k.jsonl"
  timeout 600 "$WINE64" "$windows/qoinfo.exe" batch --file "$(winpath "$work/load$k.jsonl")" \
    >"load$k.out" 2>"load$k.err" &
done
load_failures=0
for job in $(jobs -p); do [[ $job == "$xvfb" ]] || wait "$job" || load_failures=$((load_failures + 1)); done
check "four clients at once: no command fails" test "$load_failures" = 0
load_ok=1
for k in 1 2 3 4; do
  [[ $(grep -c '^added' "load$k.out") == 60 ]] || load_ok=0
  timeout 120 "$WINE64" "$windows/qoinfo.exe" search --json "load$k" >"found$k.out" 2>&1
  [[ $(grep -c '"url"' "found$k.out") == 60 ]] || load_ok=0
done
check "four clients at once: every page acknowledged and found" test "$load_ok" = 1
echo "# COM load under wine: 4 clients x 80 commands, $load_failures failed"

# --- the end of the session saves the index ----------------------------------------

client before.out agent search load2 >/dev/null 2>&1
timeout 120 "$WINE64" wineboot --end-session >/dev/null 2>&1
check "after the end of the session the agent's server is gone" wait_gone QoInfoAgent.exe
check "its index files and their image are there" \
  test -s "$data/1.hcpa" -a -s "$data/2.hcpb" -a -s "$data/index.image"
image=$(stat -c %i "$data/index.image")
"$WINESERVER" -w
client n.out agent search gamma >/dev/null 2>&1
check "the next client's server loads the saved pages" grep -q '^hit 3 http://c/' n.out
client after.out agent search load2 >/dev/null 2>&1
check "it started from the image (kept, not replaced) and answers as before" \
  bash -c "test \$(stat -c %i '$data/index.image') = $image && grep -c '^hit' after.out | grep -qx 60 &&
           cmp -s before.out after.out"

# --- an enumerator alone: the server ends by the idle rule -------------------------

timeout 120 "$WINE64" wineboot --end-session >/dev/null 2>&1
wait_gone QoInfoAgent.exe
client e.out enumerator >/dev/null 2>&1
check "an enumerator alone is created" grep -q '^done' e.out
check "that server ends after the idle time and the pause" wait_gone QoInfoAgent.exe

# --- the service ------------------------------------------------------------------

timeout 120 "$WINE64" wineboot --end-session >/dev/null 2>&1
wait_gone BromHelper.exe
timeout 60 "$WINE64" "$agent" /Service; check "/Service succeeds" test $? = 0
reg_query "$services" >service.reg
check "service: own process, on demand, normal error control" \
  bash -c "grep -q 'Type    REG_DWORD    0x10' service.reg && grep -q 'Start    REG_DWORD    0x3' service.reg && grep -q 'ErrorControl    REG_DWORD    0x1' service.reg"
check "service: the quoted path, depending on RPCSS" \
  bash -c "grep -qF 'ImagePath    REG_SZ    $module' service.reg && grep -q 'DependOnService    REG_MULTI_SZ    RPCSS' service.reg"
check "service: LocalService names it" \
  bash -c "$(declare -f reg_query); reg_query '$appid' /v LocalService | grep -q 'QoInfoAgent'"
timeout 60 "$WINE64" "$agent"; status=$?
# Windows answers 1063 (not started by the service manager); wine another code.
check "started by hand it exits with the dispatcher's error" \
  test "$status" != 0 -a "$status" != 2
timeout 60 "$WINE64" net start QoInfoAgent >/dev/null 2>&1
check "the service starts" test $? = 0
client s.out agent add 6 http://f/ "zeta service" touch held wait go add 7 http://g/ "zeta after" release >s.log 2>&1 &
holder=$!
for i in $(seq 600); do [[ -e held ]] && break; sleep 0.1; done
timeout 60 "$WINE64" sc stop QoInfoAgent >/dev/null 2>&1
check "the stop request is taken while a client holds the agent" test $? = 0
touch go
wait $holder
check "the client still served after the class objects were withdrawn" grep -q '^done' s.out
check "the service's process ends after the client's release" wait_gone QoInfoAgent.exe
timeout 120 "$WINE64" wineboot --end-session >/dev/null 2>&1
wait_gone BromHelper.exe
# The service keeps its data where the service account's data directory is.
service_data=$(dirname "$(find "$WINEPREFIX/drive_c/users" -name 1.hcpa | head -1)")
timeout 120 "$WINE64" "$windows/qoinfo.exe" --embedded --data-dir "$(winpath "$service_data")" \
  search --json zeta >zeta.out 2>&1
check "the index saved at that release holds both pages" test "$(grep -c http://[fg]/ zeta.out)" = 2
timeout 60 "$WINE64" "$agent" /RegServer; check "/RegServer after /Service succeeds" test $? = 0
check "/RegServer removed the service" bash -c "! $(declare -f has_key); ! has_key '$services'"
check "/RegServer deleted LocalService" \
  bash -c "$(declare -f reg_query); ! reg_query '$appid' /v LocalService | grep -q QoInfoAgent"

# --- unregistration -------------------------------------------------------------------

timeout 60 "$WINE64" reg add 'HKCR\QoInfoAgent.ZuInfoAgent\Extra' /f >/dev/null 2>&1
timeout 60 "$WINE64" "$agent" /UnregServer; check "/UnregServer succeeds" test $? = 0
timeout 60 "$WINE64" "$helper" /UnregServer; check "BromHelper /UnregServer succeeds" test $? = 0
gone=0
for key in "$agent_clsid" "$enum_clsid" 'HKCR\QoInfoAgent.ZuInfoAgent' \
  'HKCR\QoInfoAgent.ZuInfoAgent.1' 'HKCR\QoInfoAgent.SearchDataEnumerator' \
  'HKCR\QoInfoAgent.SearchDataEnumerator.1' "$appid" 'HKCR\AppID\QoInfoAgent.EXE' \
  'HKCR\TypeLib\{12F97166-B0F9-4C8D-ADB1-7142444751C8}' \
  'HKCR\Interface\{B1C581BF-4E3C-4BB0-BC08-EF2864141A78}' \
  'HKCR\TypeLib\{6153A626-FD95-437F-BD22-AF07FBE0FDA6}' \
  'HKCR\Interface\{19BCD4C0-F005-4FF0-B3DB-83A42EBC4769}' \
  'HKCR\CLSID\{9F1366DD-E157-4962-84F5-57066BB8506A}'; do
  has_key "$key" && { echo "still there: $key"; gone=1; }
done
check "/UnregServer removed every key of ours" test $gone = 0
check "the keys CLSID and AppID stay" bash -c "$(declare -f has_key); has_key 'HKCR\\CLSID' && has_key 'HKCR\\AppID'"
timeout 60 "$WINE64" "$agent"; status=$?
check "after /UnregServer the server exits with 2" test "$status" = 2
timeout 60 "$WINE64" "$agent" /UnregServer; status=$?
check "a second /UnregServer finds nothing to remove: 2, as on Linux" test "$status" = 2
timeout 60 "$WINE64" "$helper" /UnregServer
check "a second BromHelper /UnregServer has nothing left to do" test $? = 0

finish
