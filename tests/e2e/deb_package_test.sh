#!/usr/bin/env bash
# The Debian package, checked and installed for real in isolation: lintian
# finds no error and no warning; then, in a private mount namespace whose
# /usr, /etc and /var are overlays over the machine's (their changes in a
# tmpfs that goes with the namespace, so the machine's own folders never
# change, whatever happens to the test), `apt-get install ./qoinfo_*.deb`,
# a fresh home with no registration of its own where the session bus starts
# the installed service and `qoinfo add` and `search` work through it, then
# `apt-get purge`, after which no file of the package is left and the
# person's data is. Chromium, started through Debian's /usr/bin/chromium with
# a fresh profile and no --load-extension, captures a page through the
# installed extension and host manifest (installed_browser.py).
#   deb_package_test.sh DEB
set -u
export LC_ALL=C
deb=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
source "$here/harness.sh"

if [[ -z ${QOINFO_DEB_NAMESPACE:-} ]]; then
  # --- outside: lintian, then this script again in its own namespace -------
  lintian --fail-on warning,error --suppress-tags-from-file /dev/null "$deb" \
    >lintian.out 2>&1
  status=$?
  grep -v 'running with root privileges' lintian.out
  check "lintian: no error, no warning (overrides carry their reason)" test "$status" = 0
  rm -f lintian.out
  # The namespace's checks print their lines; they are counted here.
  inside=$(QOINFO_DEB_NAMESPACE=1 unshare -m --propagation private "$0" "$@" 2>&1)
  status=$?
  echo "$inside"
  E2E_PASSED=$((E2E_PASSED + $(grep -c '^PASS' <<<"$inside")))
  E2E_FAILED=$((E2E_FAILED + $(grep -c '^FAIL' <<<"$inside")))
  if ((status != 0)) && ! grep -q '^FAIL' <<<"$inside"; then
    fail "the test in the private namespace ended with status $status"
  fi
  finish
  exit
fi

# --- inside the private namespace ----------------------------------------------
scratch=$(mktemp -d)
mount -t tmpfs -o mode=0755 qoinfo-deb-test "$scratch" || { fail "a tmpfs for the overlays"; exit 1; }
for folder in usr etc var; do
  mkdir -p "$scratch/upper/$folder" "$scratch/work/$folder"
  mount -t overlay overlay \
    -o "lowerdir=/$folder,upperdir=$scratch/upper/$folder,workdir=$scratch/work/$folder" \
    "/$folder" || { fail "overlay on /$folder"; exit 1; }
done
# The scratch folder's name stays behind in /tmp: removed on the way out.
trap 'cd /; umount -l "$scratch"; rmdir "$scratch"' EXIT

# Files and links; folders are compared apart, as dpkg also removes an empty
# folder the package shared with no other package even when it was there
# before (/etc/opt).
listing() { find /usr /etc -xdev ! -type d 2>/dev/null | sort; }
folders() { find /usr /etc -xdev -type d 2>/dev/null | sort; }
# A person who never registered anything: a user of the namespace's own
# /etc with a fresh home and no XDG folders.
person=qoinfo-person
home=$scratch/home
useradd --home-dir "$home" --create-home --shell /bin/sh --user-group "$person" ||
  { fail "a fresh user"; exit 1; }
as_person() {
  env -i PATH=/usr/bin:/bin HOME="$home" USER="$person" LANG=C.UTF-8 \
    setpriv --reuid="$person" --regid="$person" --init-groups \
    timeout 90 dbus-run-session -- "$@"
}

listing >"$scratch/before"
folders >"$scratch/folders-before"

export DEBIAN_FRONTEND=noninteractive
apt-get install -y -q --no-install-recommends "$deb" >"$scratch/install.log" 2>&1
check "apt-get install ./$(basename "$deb") succeeds" test $? = 0 ||
  tail -20 "$scratch/install.log"
dpkg -L qoinfo 2>/dev/null | sort >"$scratch/files"
check "the package is installed" test -s "$scratch/files"
check "the programs are in /usr/bin" \
  test -x /usr/bin/qoinfo -a -x /usr/bin/qoinfoagent -a -x /usr/bin/bromhelper
check "the installed qoinfo prints the version" \
  test "$(/usr/bin/qoinfo --version)" = "QoInfoAgent $(dpkg-query -W -f='${Version}' qoinfo | sed 's/-[^-]*$//')"
check "bash completes qoinfo's commands" test "$(bash -c '
  source /usr/share/bash-completion/completions/qoinfo
  COMP_WORDS=(qoinfo install-browser --browser ch); COMP_CWORD=3; _qoinfo
  echo "${COMPREPLY[*]}"')" = "chromium chrome"

as_person sh -c '
  gdbus call --session --timeout 10 --dest org.freedesktop.DBus \
    --object-path /org/freedesktop/DBus --method org.freedesktop.DBus.ListActivatableNames
  qoinfo --server add --time 2026-12-08T10:00:00Z --url https://example.org/lighthouse \
    --title "The lighthouse" --text "A lighthouse keeper on a rocky island"
  qoinfo --server search --json lighthouse keeper
  mkdir -p "$HOME/profiles"
  /usr/bin/python3 "$1/installed_browser.py" "$HOME/profiles"
' sh "$here" >"$scratch/session.out" 2>"$scratch/session.err"
grep -E '^(PASS|FAIL) ' "$scratch/session.out"
# The servers save the index when their bus ends: the person's files are
# complete once no process of theirs is left (at most 30 s).
for _ in $(seq 300); do pgrep -u "$person" >/dev/null || break; sleep 0.1; done
left_running=$(pgrep -a -u "$person")
check "the person's servers ended with their session${left_running:+: $left_running}" test -z "$left_running"
check "the session bus knows the installed services" \
  grep -q "'QoInfoAgent.ZuInfoAgent'.*'BromHelper.URLBase'\|'BromHelper.URLBase'.*'QoInfoAgent.ZuInfoAgent'" \
  "$scratch/session.out"
check "qoinfo add works through the bus-started server" \
  grep -q '^added https://example.org/lighthouse' "$scratch/session.out"
check "and search finds the page" grep -q '"url":"https://example.org/lighthouse"' "$scratch/session.out"
[[ $E2E_FAILED == 0 ]] || { cat "$scratch/session.out" "$scratch/session.err"; }
check "the person needed no registration of their own" \
  test ! -e "$home/.config/QoInfoAgent/registry" -a ! -e "$home/.local/share/dbus-1"
check "the server kept the data in the person's home" \
  test -n "$(find "$home/.local/share/QoInfoAgent" -type f 2>/dev/null)"
find "$home" -type f | sort >"$scratch/data-before"

apt-get purge -y -q qoinfo >"$scratch/purge.log" 2>&1
check "apt-get purge succeeds" test $? = 0 || tail -20 "$scratch/purge.log"
left=$(while read -r file; do [[ -e $file && ! -d $file ]] && echo "$file"; done <"$scratch/files")
check "no file of the package is left${left:+: $left}" test -z "$left"
listing >"$scratch/after"
check "/usr and /etc hold the same files as before the install" \
  diff "$scratch/before" "$scratch/after"
folders >"$scratch/folders-after"
extra=$(comm -13 "$scratch/folders-before" "$scratch/folders-after")
check "and no folder the package made${extra:+: $extra}" \
  test -z "$extra"
check "the person's data stays" \
  diff "$scratch/data-before" <(find "$home" -type f | sort)
