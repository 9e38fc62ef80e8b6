#!/usr/bin/env bash
# A data directory that fills up, and one that is read-only, through qoinfo
# with its embedded agent and through the D-Bus server: every refusal is a
# clear error, the server stays up, and nothing acknowledged is lost. The
# data directory is a small tmpfs; where mounting is not allowed the test
# says so and skips.
# Usage: storage_limits_test.sh LINUX_BIN_DIR
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/harness.sh"
e2e_setup "$@"
source "$here/dbus_bus.sh"
dbus_setup
cd "$work" || exit 1
if ! mount -t tmpfs -o size=4m tmpfs "$data" 2>/dev/null; then
  echo "# mounting a tmpfs is not allowed here: skipped"
  echo "0 passed, 0 failed, 1 skipped"
  exit 0
fi
trap 'umount "$data" 2>/dev/null; rm -rf "$work"' EXIT

q() { timeout 120 "$linux/qoinfo" --embedded --data-dir "$data" "$@"; }
json_count() { "$python" -c 'import sys; print(sum(1 for l in sys.stdin if l.strip()))'; }

# --- the disk fills up under qoinfo -------------------------------------------

"$python" - >pages.jsonl <<'PY'
import json, random
rng = random.Random(3)
for i in range(1, 400):
    text = " ".join(f"w{rng.randrange(10**6)}" for _ in range(2500))
    print(json.dumps(["add", "--time", str(i), "--url", f"http://full/{i}", "--text", "common " + text]))
PY
q batch --file pages.jsonl >batch.out 2>batch.err
status=$?
added=$(grep -c '^added' batch.out)
check "a full disk ends the batch with a failure" test "$status" != 0
check "and says the disk is full" grep -q "disk full" batch.err
echo "# full disk: $added pages acknowledged before the disk filled; $(grep -c 'disk full' batch.err) refusals"
q search --json --limit 100000 common >found.jsonl 2>search.err
check "every acknowledged page is found on the full disk" test "$(json_count <found.jsonl)" -ge "$added"

# --- and under the server -----------------------------------------------------

cat >server_full.py <<'PY'
import dbus
bus = dbus.SessionBus()
agent = bus.get_object("QoInfoAgent.ZuInfoAgent", "/QoInfoAgent/ZuInfoAgent")
text = " ".join(f"z{n}" for n in range(200000))
try:
    agent.AddData((dbus.Int64(100000), "http://one-more/", text, "", ""),
                  dbus_interface="QoInfoAgent.IZuInfoAgent")
    print("refused: no")
except dbus.DBusException as error:
    print("refused:", error.get_dbus_name(), str(error))
agent.Search("common", dbus_interface="QoInfoAgent.IZuInfoAgent")
print("still serving")
PY
in_bus "$python" server_full.py >server.out 2>server.err
wait_services_end
check "the server refuses a page on the full disk, naming the HRESULT" \
  grep -q "refused: QoInfoAgent.Error.*HRESULT 0x" server.out
check "and still answers afterwards" grep -q "still serving" server.out
echo "# full disk, server: $(grep refused server.out | head -c 200)"

# --- a read-only data directory -----------------------------------------------

rm -f "$data"/*.damaged-* 2>/dev/null
sha256sum "$data"/* 2>/dev/null | sort >before.sums
mount -o remount,ro "$data"
q search common >ro.out 2>ro.err
status=$?
check "a read-only data directory gives a clear answer" \
  bash -c "[[ $status == 0 ]] || grep -q 'qoinfo search:' ro.err"
echo "# read-only: qoinfo search exit $status: $(head -c 200 ro.err)"
expect_add=$(q add --time 500000 --url http://ro/ --text "read only" 2>&1)
check "adding to a read-only directory is refused clearly" grep -q "qoinfo add:" <<<"$expect_add"
sha256sum "$data"/* 2>/dev/null | sort >after.sums
check "nothing stored changes" cmp -s before.sums after.sums

finish
