# A small harness for end-to-end tests written in shell. Each `check` runs a
# condition and prints "PASS name" or "FAIL name"; `finish` prints the
# closing counts and returns non-zero on any failure.

E2E_PASSED=0
E2E_FAILED=0

pass() { echo "PASS $1"; E2E_PASSED=$((E2E_PASSED + 1)); }
fail() { echo "FAIL $1${2:+: $2}"; E2E_FAILED=$((E2E_FAILED + 1)); }

# check NAME COMMAND...: passes when COMMAND succeeds.
check() {
  local name=$1; shift
  if "$@"; then pass "$name"; else fail "$name"; fi
}

# holds FILE TEXT: the bytes of FILE hold the ASCII TEXT as UTF-8 or as
# UTF-16 (the form of every string in the index files and the history).
holds() {
  LC_ALL=C grep -aqF -- "$2" "$1" ||
    LC_ALL=C grep -aqP -- "$(printf '%s' "$2" | sed 's/./&\\x00/g')" "$1"
}

# keeping DIR TEXT...: "file:text" for each file under DIR that holds a TEXT;
# nothing when none does.
keeping() {
  local dir=$1 file text; shift
  while read -r file; do
    for text in "$@"; do holds "$file" "$text" && echo "${file#"$dir"/}:$text"; done
  done < <(find "$dir" -type f | sort)
}

# The project's folder, known before a test changes folders.
E2E_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

# project_version: the version set once in the top CMakeLists.txt.
project_version() {
  sed -n 's/^project(QoInfoAgent VERSION \([0-9.]*\).*/\1/p' \
    "$E2E_ROOT/CMakeLists.txt"
}

# winpath PATH: the path as wine's programs see it (drive Z:).
winpath() { echo "Z:${1//\//\\}"; }

# wine_work_prefix: a wine prefix and a data directory in the scratch
# folder (`data`), the latter named to wine's programs as QOINFO_DATA_DIR.
wine_work_prefix() {
  export WINEPREFIX=$work/prefix
  data=$work/data
  mkdir -p "$data"
  export QOINFO_DATA_DIR
  QOINFO_DATA_DIR=$(winpath "$data")
}

finish() {
  echo "$E2E_PASSED passed, $E2E_FAILED failed"
  ((E2E_FAILED == 0))
}

# e2e_setup LINUX_BIN_DIR [WIN64_BIN_DIR]: sets `linux` and `windows` (the
# folders as absolute paths; wine's helpers loaded when the second is given),
# `python`, and `work`, a scratch folder removed when the script exits.
e2e_setup() {
  linux=$(realpath "$1")
  windows=${2:+$(realpath "$2")}
  if [[ -n $windows ]]; then
    source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/wine-env"
  fi
  python=/usr/bin/python3
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
}
