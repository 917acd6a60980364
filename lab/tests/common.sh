# Shared by the lab test scripts: sourced, not run.
# shellcheck shell=bash
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../lib.sh"

if [[ $(id -u) -ne 0 ]]; then
  echo "lab: skipped: lab tests need root (network namespaces, nftables); run ctest -L lab as root"
  exit 77
fi
lab_is_up || { echo "lab: the lab is not up (the lab.up fixture should have built it)"; exit 1; }


failures=0
lan() { lab_lan "$@"; }
# The lab's hand tool (lab/probe/lab_probe.cpp); CTest passes its path.
probe() {
  [[ -n ${LAB_PROBE:-} ]] || { echo "LAB_PROBE must name the lab_probe executable" >&2; return 2; }
  lan "$LAB_PROBE" "$@"
}

# check DESCRIPTION PATTERN COMMAND...: the command's output must match the
# extended regular expression (the exit status is not looked at: the output
# says more).
check() {
  local description=$1 pattern=$2 output; shift 2
  output=$("$@" 2>&1)
  if grep -Eq -- "$pattern" <<<"$output"; then
    echo "ok   $description"
  else
    echo "FAIL $description"
    echo "     expected /$pattern/ from: $*"
    sed 's/^/     | /' <<<"$output"
    failures=$((failures + 1))
  fi
}

# check_not DESCRIPTION PATTERN COMMAND...: the output must not match.
check_not() {
  local description=$1 pattern=$2 output; shift 2
  output=$("$@" 2>&1)
  if grep -Eq -- "$pattern" <<<"$output"; then
    echo "FAIL $description"
    echo "     did not expect /$pattern/ from: $*"
    sed 's/^/     | /' <<<"$output"
    failures=$((failures + 1))
  else
    echo "ok   $description"
  fi
}

# Switches the lab's situation; the lab is back to normal when the test ends,
# however it ends.
set_mode() {
  trap '"$LAB_DIR/mode" default >/dev/null' EXIT
  "$LAB_DIR/mode" "$@" || { echo "FAIL lab/mode $*"; exit 1; }
}

finish() {
  if ((failures)); then
    echo "$failures check(s) failed"
    exit 1
  fi
  echo "all checks passed"
  exit 0
}
