#!/usr/bin/env bash
# qoinfoagent's switches and service mode on Linux, without a running
# systemd: the registry file, the activation files and the unit after
# -RegServer, a second -RegServer, /Service and /UnregServer; the exit codes
# of starts that cannot serve; a service on a private bus telling a notify
# socket (read here) READY=1 and STOPPING=1, and outliving the idle rule
# that ends a local server. A systemctl of our own on PATH records what
# would be asked of the user's systemd.
#   service_registration_test.sh LINUX_BIN_DIR
set -uo pipefail
here=$(dirname "$(realpath "$0")")
source "$here/harness.sh"

e2e_setup "$1"
export XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/share
export XDG_RUNTIME_DIR=$work/run
registry=$XDG_CONFIG_HOME/QoInfoAgent/registry
unit=$XDG_CONFIG_HOME/systemd/user/qoinfoagent.service
services=$XDG_DATA_HOME/dbus-1/services
agent=$linux/qoinfoagent

# A user systemd that answers: its socket, and a systemctl that logs.
mkdir -p "$XDG_RUNTIME_DIR/systemd" "$work/fake"
touch "$XDG_RUNTIME_DIR/systemd/private"
printf '#!/bin/sh\necho "$*" >>"%s/systemctl.log"\n' "$work" >"$work/fake/systemctl"
chmod +x "$work/fake/systemctl"
export PATH=$work/fake:$PATH

# expect NAME WANT COMMAND...: the output of COMMAND is WANT.
expect() {
  local name=$1 want=$2 got; shift 2
  got=$("$@" 2>&1)
  if [[ $got == "$want" ]]; then pass "$name"; else fail "$name" "got '$got', want '$want'"; fi
}
status_of() { "$@" >/dev/null 2>&1; echo $?; }
# The registry file holding what the scripts register, LocalService or not.
registered_tree() {
  local keep='s#@SERVICE@##'
  [[ $1 == service ]] || keep='/@SERVICE@/d'
  sed -e "s#@MODULE@#$agent#" -e "$keep" "$here/data/registry_registered"
}

expect "a start before any registration ends with code 2" 2 status_of "$agent"
expect "a switch failing with E_FAIL ends with 1, not 0x80004005 cut to 5" 1 \
  status_of env -u HOME -u XDG_CONFIG_HOME "$agent" -RegServer

check "-RegServer succeeds" "$agent" -RegServer
expect "the registry file holds the scripts' entries" "$(registered_tree local)" cat "$registry"
expect "the agent's activation file runs it" \
  "$(printf '[D-BUS Service]\nName=QoInfoAgent.ZuInfoAgent\nExec=%s' "$agent")" \
  cat "$services/QoInfoAgent.ZuInfoAgent.service"
expect "the history's activation file runs bromhelper" \
  "$(printf '[D-BUS Service]\nName=BromHelper.URLBase\nExec=%s/bromhelper' "$linux")" \
  cat "$services/BromHelper.URLBase.service"
# Something else writes below a class key; a second registration wipes it.
"$python" - "$registry" <<'PY'
import sys
path = sys.argv[1]
key = "    '{E0496837-6C93-4C59-8DE9-50E54295C207}' = s 'CZuInfoAgent Object'\n    {\n"
text = open(path).read()
open(path, "w").write(text.replace(key, key + "      val 'Stale' = s 'x'\n      'Old'\n"))
PY
check "something else wrote there" grep -q Stale "$registry"
check "a second -RegServer succeeds" "$agent" /regserver
expect "and leaves the same tree" "$(registered_tree local)" cat "$registry"
check "no temporary file is left" test -z "$(find "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" -name '*.new')"

check "/Service succeeds" "$agent" /Service
expect "LocalService is set" "$(registered_tree service)" cat "$registry"
expect "the unit is a D-Bus service that runs the agent" \
  "$(printf '[Unit]\nDescription=QoInfoAgent, full-text search over the web history\n\n[Service]\nType=dbus\nBusName=QoInfoAgent.ZuInfoAgent\nNotifyAccess=main\nExecStart="%s"' "$agent")" \
  cat "$unit"
expect "the agent's activation file names the unit" \
  "$(printf '[D-BUS Service]\nName=QoInfoAgent.ZuInfoAgent\nExec=%s\nSystemdService=qoinfoagent.service' "$agent")" \
  cat "$services/QoInfoAgent.ZuInfoAgent.service"
expect "systemd reloads its units" "--user --quiet daemon-reload" cat "$work/systemctl.log"
expect "started by hand it refuses to run as a service (3, not 1063 cut to 39)" 3 \
  status_of "$agent"
mkdir -p "$work/system/QoInfoAgent"
cp "$registry" "$work/system/QoInfoAgent/registry"

# The service on a private bus, systemd played by the Python script below.
# The bus cannot start the history, so the agent cannot start: a local
# server then ends by the idle rule, which the service must ignore.
mkdir -p "$work/no-services" "$work/data"
cat >"$work/bus.conf" <<CONF
<busconfig><type>session</type><listen>unix:dir=$work</listen>
<servicedir>$work/no-services</servicedir>
<policy context="default"><allow send_destination="*" eavesdrop="true"/>
<allow eavesdrop="true"/><allow own="*"/></policy>
<limit name="service_start_timeout">3000</limit></busconfig>
CONF
XDG_CONFIG_HOME=$work/local "$agent" -RegServer
cat >"$work/service.py" <<'PY'
import os, socket, subprocess, sys, time
agent, path, local_config = sys.argv[1:4]
sock = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
sock.bind(path)
sock.settimeout(60)
local = subprocess.Popen([agent], stderr=subprocess.DEVNULL,
                         env=dict(os.environ, XDG_CONFIG_HOME=local_config))
print("local server ended by itself:", local.wait(timeout=60))
service = subprocess.Popen([agent], stderr=subprocess.DEVNULL,
                           env=dict(os.environ, NOTIFY_SOCKET=path,
                                    INVOCATION_ID="e2e"))
print("first message:", sock.recv(4096).decode().split("\n")[0])
time.sleep(7)  # longer than the idle timeout and pause that ended `local`
print("service still running:", service.poll() is None)
service.terminate()
print("then:", sock.recv(4096).decode().split("\n")[0])
print("exit code:", service.wait(timeout=60))
PY
QOINFO_DATA_DIR=$work/data dbus-run-session --config-file="$work/bus.conf" -- \
  "$python" "$work/service.py" "$agent" "$work/notify" "$work/local" \
  >"$work/service.out" 2>"$work/service.log"
expect "the service's run, as systemd sees it" "local server ended by itself: 0
first message: READY=1
service still running: True
then: STOPPING=1
exit code: 0" cat "$work/service.out"

: >"$work/systemctl.log"
check "/UnregServer succeeds" "$agent" /UnregServer
expect "it leaves the keys others share" "$(printf "HKCR\n{\n  'AppID'\n  'CLSID'\n}")" \
  cat "$registry"
expect "it removes the activation files" "" ls "$services"
check "it removes the unit" test ! -e "$unit"
expect "systemd stops the service and reloads" \
  "$(printf -- '--user --quiet stop qoinfoagent.service\n--user --quiet daemon-reload')" \
  cat "$work/systemctl.log"
expect "a second /UnregServer finds nothing to open (0x80070002)" 2 status_of "$agent" /UnregServer
expect "and a start ends with code 2 again" 2 status_of "$agent"
expect "a registration in \$XDG_CONFIG_DIRS counts when the user has none" 3 \
  status_of env XDG_CONFIG_DIRS="$work/none:$work/system" "$agent"
finish
