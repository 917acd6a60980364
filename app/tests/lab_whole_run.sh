#!/bin/bash
# The shipped binary on the LAN host of the simulated home network, without a
# display:
#   - with standard output piped, it prints the nine rows of a whole run, one
#     "step<TAB>result" line each, and ends with status 0;
#   - while one copy runs (here on a terminal, kept open until it is told to
#     quit), a second copy ends at once with no output; a copy started after
#     the first has ended runs normally.
#   lab_whole_run.sh PROGRAM
source "$(dirname "${BASH_SOURCE[0]}")/../../lab/tests/common.sh"
program=${1:?usage: lab_whole_run.sh PROGRAM}

# Bounds on the checker's runs: every check ends by its own time-outs, well
# within this.
readonly kRunBound=180
readonly kSecondCopyBound=10
readonly kStartPause=1

work=$(mktemp -d)
holder_pid=
cleanup() {
  [[ -n $holder_pid ]] && kill "$holder_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# BOUND COMMAND...: on the LAN host, in the user's environment without a
# display; a runtime directory of the test's own holds the single-instance
# marker.
no_display() {
  local bound=$1; shift
  timeout "$bound" ip netns exec "$NS_LAN" \
    env -u DISPLAY -u WAYLAND_DISPLAY XDG_RUNTIME_DIR="$work" "$@"
}

expected_steps=$'检查网络...\n检查UPnP映射...\n检测网络类型...\n检查与Talu调度通信...\n跳过与缓存调度检测...\n检查与高速调度通信...\n检测  P2P 协议通讯...\n检测  BT  协议通讯...\n检测 Http 协议通讯...'

# A whole run, piped. Prints its status and output file.
piped_run() {
  local out=$1
  no_display "$kRunBound" "$program" >"$out" 2>"$out.err"
  echo "status $?"
}

# 1. A whole run.
check "a piped whole run ends with status 0" '^status 0$' piped_run "$work/run1"
check "nine lines" '^9$' awk 'END { print NR }' "$work/run1"
check "every line is a step, a tab and a result" '^ok$' \
  awk -F'\t' 'NF != 2 { bad = 1 } END { print bad ? "bad" : "ok" }' "$work/run1"
check "the nine step texts in order" '^same$' \
  bash -c "[[ \$(cut -f1 '$work/run1') == \"\$1\" ]] && echo same || cut -f1 '$work/run1'" _ "$expected_steps"
check "row 0 connected" $'^检查网络...\t连接Internet成功$' head -n1 "$work/run1"
check_not "no row is left in progress" '正在检测' cat "$work/run1"

# 2. One copy on a terminal (script gives it one), held open through a fifo.
mkfifo "$work/keys"
TERM=xterm no_display "$kRunBound" script -qfc "$program" /dev/null \
  <"$work/keys" >"$work/holder.out" 2>&1 &
holder_pid=$!
exec 3>"$work/keys"   # the holder's keyboard; stays open until q
sleep "$kStartPause"
second_copy() {
  no_display "$kSecondCopyBound" "$program" >"$work/second" 2>&1
  echo "status $? bytes $(wc -c <"$work/second")"
}
check "a second copy ends at once, silently" '^status 0 bytes 0$' second_copy
check "the first copy still runs" '^running$' bash -c "kill -0 $holder_pid && echo running"

printf q >&3
exec 3>&-
waited=0
while kill -0 "$holder_pid" 2>/dev/null && ((waited < kRunBound)); do sleep 1; waited=$((waited + 1)); done
check "the first copy ends on q" '^ended$' bash -c "kill -0 $holder_pid 2>/dev/null && echo running || echo ended"
holder_pid=

# 3. A copy started after the first has ended runs normally.
check "a later copy runs a whole run" '^status 0$' piped_run "$work/run2"
check "and prints its nine rows" '^9$' awk 'END { print NR }' "$work/run2"

finish
