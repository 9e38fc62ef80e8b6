#!/usr/bin/env bash
# The Windows installer under wine64, in a fresh prefix: a silent install of
# the x64 MSI, our COM client (agent_client.exe of the build) filing and
# finding pages through the servers it registered, the browsers' host keys;
# a silent removal that leaves no file and no key (the registry exported
# before and after); the same with the agent as a service (SERVICE=1); an
# upgrade to a newer version and a refused downgrade. The x86 MSI, which no
# wine here runs, has its tables read with msiinfo.
#   windows_installer_test.sh WIN64_BIN_DIR PACKAGES_DIR
set -u
source "$(dirname "$0")/harness.sh"
e2e_setup "$1" "$1"
packages=$(realpath "$2")
cd "$work"
# The agent's data stays outside the prefix: what the removal must leave
# alone is the user's, and the prefix holds only what the installer did.
wine_work_prefix
trap 'wine_stop; [[ -n ${KEEP_WORK:-} ]] || rm -rf "$work"' EXIT
wine_fresh_prefix

x64_msi=$(ls "$packages"/QoInfoAgent-*-x64.msi 2>/dev/null | head -1)
x86_msi=$(ls "$packages"/QoInfoAgent-*-x86.msi 2>/dev/null | head -1)
version=$(project_version)
check "both installers are there, named with the project's version" \
  test "$x64_msi" = "$packages/QoInfoAgent-$version-x64.msi" -a \
       "$x86_msi" = "$packages/QoInfoAgent-$version-x86.msi"

msiexec() { timeout 120 "$WINE64" msiexec "$@" >/dev/null 2>&1; }
reg_query() { timeout 60 "$WINE64" reg query "$@" 2>/dev/null | tr -d '\r'; }
has_key() { timeout 60 "$WINE64" reg query "$1" >/dev/null 2>&1; }
client() { timeout 120 "$WINE64" "$windows/agent_client.exe" "$@"; }
program_files=$WINEPREFIX/drive_c/Program\ Files/QoInfoAgent
hosts=(Google\\Chrome Microsoft\\Edge Chromium Mozilla)
services='HKLM\System\CurrentControlSet\Services\QoInfoAgent'

# What the prefix holds: its files and the registry's three trees, as text.
# Left out: Windows Installer's cache of packages, and the agent's data
# folder in the user's profile (the user's pages; a removal keeps them).
snapshot() {  # snapshot NAME
  local tree
  for tree in HKLM HKCU HKCR; do
    timeout 60 "$WINE64" reg export "$tree$([[ $tree == HKCR ]] || echo '\Software')" \
      "$(winpath "$work/$1-$tree.reg")" /y >/dev/null 2>&1
    iconv -f utf-16 -t utf-8 "$work/$1-$tree.reg" >"$work/$1-$tree.txt"
  done
  (cd "$WINEPREFIX/drive_c" && find . -path ./windows/Installer -prune -o \
     -path './users/*/AppData/Local/QoInfoAgent' -prune -o -print | sort) >"$work/$1-files.txt"
}
# The same as before the install: no file, no key or value added or left.
# Windows Installer's own first use leaves its bookkeeping keys (under
# ...\Installer), empty: they are not ours.
same_as() {  # same_as BEFORE AFTER
  [[ -f $work/$2-files.txt ]] && { diff "$work/$1-files.txt" "$work/$2-files.txt" || return 1; }
  "$python" - "$work/$1" "$work/$2" <<'PY'
import re, sys
def read(name):
    keys, key = {}, None
    for tree in ("HKLM", "HKCU", "HKCR"):
        for line in open(f"{name}-{tree}.txt", encoding="utf-8", errors="replace"):
            line = line.rstrip("\r\n")
            if line.startswith("[") and line.endswith("]"):
                key = line[1:-1]
                keys.setdefault(key, set())
            elif line and key is not None:
                keys[key].add(line)
    return keys
before, after = read(sys.argv[1]), read(sys.argv[2])
left = [k for k in after if k not in before and
        not (re.search(r"\\Installer(\\|$)", k) and not after[k])]
left += [f"{k}: {v}" for k in after if k in before for v in after[k] - before[k]]
gone = [k for k in before if k not in after]
for line in (left + [f"gone: {k}" for k in gone])[:20]:
    print(line)
sys.exit(1 if left or gone else 0)
PY
}

snapshot before

# --- silent install ---------------------------------------------------------------

msiexec /i "$(winpath "$x64_msi")" /qn; status=$?
check "msiexec /i /qn installs the x64 MSI" test "$status" = 0
check "the programs and the host manifests are in Program Files\\QoInfoAgent" bash -c "
  cd '$program_files' && ls >/dev/null QoInfoAgent.exe BromHelper.exe qoinfo.exe qoinfo-index.exe \
    qoinfo-native-host.exe qoinfo.native_host.chromium.json qoinfo.native_host.firefox.json"
installed='"C:\Program Files\QoInfoAgent\'
reg_query 'HKCR\CLSID\{E0496837-6C93-4C59-8DE9-50E54295C207}\LocalServer32' >agent.reg
check "the agent's class runs the installed server" grep -qF "${installed}QoInfoAgent.exe\"" agent.reg
reg_query 'HKCR\CLSID\{9F1366DD-E157-4962-84F5-57066BB8506A}\LocalServer32' >history.reg
check "the history's class runs the installed server" grep -qF "${installed}BromHelper.exe\"" history.reg
check "the agent is no service unless asked" bash -c "$(declare -f has_key); ! has_key '$services'"

# Each browser's key names a manifest that is there and names the host
# beside it, with the extension of that browser's family.
host_keys_ok=1
for browser in "${hosts[@]}"; do
  manifest=$(reg_query "HKLM\\Software\\$browser\\NativeMessagingHosts\\qoinfo.native_host" |
    sed -n 's/^ *(Default) *REG_SZ *C:\\Program Files\\QoInfoAgent\\//p')
  json=$program_files/$manifest
  [[ -n $manifest && -f $json ]] || { echo "no manifest for $browser"; host_keys_ok=0; continue; }
  "$python" - "$json" "$browser" <<'PY' || host_keys_ok=0
import json, os, sys
m = json.load(open(sys.argv[1]))
firefox = sys.argv[2] == "Mozilla"
assert m["name"] == "qoinfo.native_host" and m["type"] == "stdio", m
assert os.path.isfile(os.path.join(os.path.dirname(sys.argv[1]), m["path"])), m
assert ("allowed_extensions" in m) == firefox and ("allowed_origins" in m) != firefox, m
PY
done
check "HKLM names a host manifest for Chrome, Edge, Chromium and Firefox" test "$host_keys_ok" = 1

snapshot installed
# The comparison used after the removal sees the product's files and keys.
differs() { ! same_as "$@" >/dev/null; }
check "the installed product shows in the files and the registry" differs before installed
rm "$work/installed-files.txt"
check "the installed product shows in the registry alone" differs before installed

# --- the registered servers serve a client -----------------------------------------

client c.out agent add 1 http://a/ "alpha words here" add 2 http://b/ "alpha beta" \
  search alpha release >c.log 2>&1
check "a client files and finds pages through the installed servers" \
  test "$(grep '^hit' c.out | tr -d '\r' | tr '\n' ' ')" = "hit 2 http://b/ 150 hit 1 http://a/ 150 "
check "the server that answered is the installed one" \
  pgrep -f 'Program Files.QoInfoAgent.QoInfoAgent.exe' >/dev/null
timeout 60 "$WINE64" "C:\\Program Files\\QoInfoAgent\\qoinfo.exe" search --json beta >q.out 2>&1
check "the installed qoinfo.exe finds them through the servers" grep -q '"url":"http://b/"' q.out
# The servers live on while the agent listens to the history; a person's
# session would end them before a removal.
wine_stop

# --- silent removal ---------------------------------------------------------------

msiexec /x "$(winpath "$x64_msi")" /qn; status=$?
check "msiexec /x /qn removes it" test "$status" = 0
snapshot removed
check "the removal leaves no file and no key or value of ours" same_as before removed
check "the user's data stays" test -s "$data/history.sqlite3"

# --- the agent as a service -------------------------------------------------------

msiexec /i "$(winpath "$x64_msi")" /qn SERVICE=1; status=$?
check "SERVICE=1 installs" test "$status" = 0
reg_query "$services" >service.reg
reg_query 'HKCR\AppID\{12F97166-B0F9-4C8D-ADB1-7142444751C8}' >>service.reg
check "SERVICE=1 makes the agent a service of the installed program" bash -c "
  grep -qF 'ImagePath    REG_SZ    ${installed}QoInfoAgent.exe\"' service.reg &&
  grep -q 'LocalService    REG_SZ    QoInfoAgent' service.reg"
timeout 60 "$WINE64" net start QoInfoAgent >/dev/null 2>&1
# The service's data folder is its account's (the profile's), not ours.
client s.out agent add 3 http://c/ "gamma page" search gamma release >s.log 2>&1
check "a client reaches the agent's service" grep -q '^hit 3 http://c/' s.out
wine_stop
msiexec /x "$(winpath "$x64_msi")" /qn; status=$?
check "the product and its service are removed" test "$status" = 0
snapshot service_removed
check "after the service's removal no file and no key of ours is left" \
  same_as before service_removed

# --- an upgrade ----------------------------------------------------------------------

# The same package as a newer version: another product of the same family.
newer=$work/newer.msi
cp "$x64_msi" "$newer"
msibuild "$newer" -q "UPDATE Property SET Value = '99.0.0' WHERE Property = 'ProductVersion'" &&
  msiinfo export "$newer" Upgrade | sed "s/\t$version\t/\t99.0.0\t/" >Upgrade.idt &&
  msibuild "$newer" -i Upgrade.idt &&
  msibuild "$newer" -q "UPDATE Property SET Value = '{5D1C3E0A-7F2B-4C69-9E48-0A6B1D2C3E4F}' WHERE Property = 'ProductCode'" &&
  msibuild "$newer" -s "QoInfoAgent 99.0.0" QoInfoAgent "x64;1033" "{0C7E2A4B-3D5F-4E61-8A97-B1C2D3E4F506}"
msiexec /i "$(winpath "$x64_msi")" /qn && msiexec /i "$(winpath "$newer")" /qn; status=$?
check "a newer version installs over the older one" test "$status" = 0
reg_query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s >products.reg
check "one product is left, the newer one" bash -c "
  test \"\$(grep -c 'DisplayName    REG_SZ    QoInfoAgent' products.reg)\" = 1 &&
  grep -q 'DisplayVersion    REG_SZ    99.0.0' products.reg"
reg_query 'HKCR\CLSID\{E0496837-6C93-4C59-8DE9-50E54295C207}\LocalServer32' >agent.reg
check "the older one's removal left the servers registered" \
  grep -qF "${installed}QoInfoAgent.exe\"" agent.reg
msiexec /i "$(winpath "$x64_msi")" /qn; status=$?
check "the older version is refused over the newer one" test "$status" != 0
msiexec /x "$(winpath "$newer")" /qn
snapshot upgrade_removed
check "after an upgrade the removal leaves nothing of ours" same_as before upgrade_removed

# --- the x86 MSI's tables -----------------------------------------------------------

# What wixl would silently leave out or get wrong, read back from the tables.
table() { msiinfo export "$x86_msi" "$1" | tr -d '\r' | tail -n +4; }
check "x86: a 32-bit package (Intel) of the project's version" bash -c "
  msiinfo suminfo '$x86_msi' | grep -q 'Template: Intel;1033' &&
  msiinfo export '$x86_msi' Property | grep -qP '^ProductVersion\t$version\r?$'"
check "x86: installs under the 32-bit Program Files" bash -c "
  msiinfo export '$x86_msi' Directory | grep -qP '^INSTALLDIR\tProgramFilesFolder\t'"
check "x86: the programs and manifests are in the File table" \
  test "$(table File | cut -f3 | sort | tr '\n' ' ')" = \
       "BromHelper.exe QoInfoAgent.exe qoinfo-index.exe qoinfo-native-host.exe qoinfo.exe qoinfo.native_host.chromium.json qoinfo.native_host.firefox.json "
# 3090: an installed program, deferred, not as the user; 3154: the same,
# its exit code ignored.
check "x86: the servers' switches are deferred custom actions on their files" \
  test "$(table CustomAction | sort | tr '\t\n' ' |')" = \
       "RegisterAgent 3090 QoInfoAgentExe /RegServer |RegisterAgentService 3090 QoInfoAgentExe /Service |RegisterHistory 3090 BromHelperExe /RegServer |UnregisterAgent 3154 QoInfoAgentExe /UnregServer |UnregisterHistory 3154 BromHelperExe /UnregServer |"
check "x86: they run inside the installer's script, unregistration before the files go" \
  "$python" - "$x86_msi" <<'PY'
import subprocess, sys
rows = subprocess.run(["msiinfo", "export", sys.argv[1], "InstallExecuteSequence"],
                      capture_output=True, text=True).stdout.splitlines()[3:]
seq = {r.split("\t")[0]: int(r.split("\t")[2]) for r in rows}
ours = ["UnregisterAgent", "UnregisterHistory", "RegisterHistory", "RegisterAgent",
        "RegisterAgentService"]
assert all(seq["InstallInitialize"] < seq[a] < seq["InstallFinalize"] for a in ours), seq
assert seq["UnregisterAgent"] < seq["UnregisterHistory"] < seq["RemoveFiles"], seq
assert seq["InstallFiles"] < seq["RegisterHistory"] < seq["RegisterAgent"], seq
PY
check "x86: the four browsers' host keys under HKLM" \
  test "$(table Registry | awk -F'\t' '$2 == 2 {print $3 "=" $5}' | sort | tr '\n' ' ')" = \
  'Software\Chromium\NativeMessagingHosts\qoinfo.native_host=[#ChromiumManifest] Software\Google\Chrome\NativeMessagingHosts\qoinfo.native_host=[#ChromiumManifest] Software\Microsoft\Edge\NativeMessagingHosts\qoinfo.native_host=[#ChromiumManifest] Software\Mozilla\NativeMessagingHosts\qoinfo.native_host=[#FirefoxManifest] '

finish
