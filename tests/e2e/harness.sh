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

finish() {
  echo "$E2E_PASSED passed, $E2E_FAILED failed"
  ((E2E_FAILED == 0))
}
