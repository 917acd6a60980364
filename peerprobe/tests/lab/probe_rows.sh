#!/bin/bash
# Rows 3, 5, 6, 7 and 8 of a check run on the lab's LAN host, in one of the
# lab's situations:
#
#   probe_rows.sh normal|silent-and-closing|blocked|peer-down RUN_BINARY
#   probe_rows.sh whole-checker CHECKER_BINARY
#
# RUN_BINARY is probe_rows_run (the probes' rows with their every text);
# CHECKER_BINARY is the shipped checker, whose piped table shows the final
# texts. Both run only inside the LAN host namespace.
source "$(dirname "$0")/../../../lab/tests/common.sh"

(($# == 2)) || { echo "usage: probe_rows.sh SITUATION BINARY"; exit 2; }
situation=$1 binary=$2

# Text patterns, as the rows show them (the dot of the marker escaped).
CHECKING='正在检测\.'
PROGRESS_ALL='正在检测 HS 包 \| 正在检测 BF 包 \| 正在检测 ITr 包 \| 正在检测 UC 包 \| 正在检测 RQ 包 \| 正在检测 PC 包 \| 正在检测 HV 包'
PROGRESS_TO_RQ='正在检测 HS 包 \| 正在检测 BF 包 \| 正在检测 ITr 包 \| 正在检测 UC 包 \| 正在检测 RQ 包'
RESENDS='接收超时,第2次重新发送 \| 接收超时,第3次重新发送 \| 接收超时,第4次重新发送 \| 接收超时,第5次重新发送'

output=$(mktemp)
trap 'rm -f "$output"; "$LAB_DIR/mode" default >/dev/null' EXIT

# run_rows MODE_WORDS...: one run of the probes' rows in that situation.
run_rows() {
  "$LAB_DIR/mode" "$@" >/dev/null || { echo "FAIL lab/mode $*"; exit 1; }
  # No display: the checker prints its finished table to the pipe.
  lan env -u DISPLAY -u WAYLAND_DISPLAY "$binary" >"$output" 2>&1
  echo "--- rows in situation '$*':"
  sed 's/^/    /' "$output"
}

expect_row() {
  local row=$1 pattern=$2
  check "row $row: $pattern" "^row $row: $pattern\$" cat "$output"
}

case $situation in
  normal)
    run_rows default
    check "row 0: the Internet check passes" "^row 0: 连接Internet成功$" cat "$output"
    for row in 3 5; do expect_row $row "$CHECKING \| 正常"; done
    for row in 6 7 8; do expect_row $row "$CHECKING \| $PROGRESS_ALL \| 正常"; done
    ;;
  silent-and-closing)
    run_rows scheduler-silent hs-scheduler-answer-from=3 peer-close-after=4
    expect_row 3 "$CHECKING \| $RESENDS \| 通信失败"
    expect_row 5 "$CHECKING \| 接收超时,第2次重新发送 \| 接收超时,第3次重新发送 \| 正常"
    # Whichever of the send and the receive first learns of the closing.
    for row in 6 7 8; do expect_row $row "$CHECKING \| $PROGRESS_TO_RQ \| (接收|发送) RQ 包失败"; done
    ;;
  blocked)
    # UDP dropped on the way out, and a peer server that reads but never answers.
    run_rows udp-blocked peer-silent
    for row in 3 5; do expect_row $row "$CHECKING \| $RESENDS \| 通信失败"; done
    for row in 6 7 8; do expect_row $row "$CHECKING \| 正在检测 HS 包 \| 接收 HS 包失败"; done
    ;;
  peer-down)
    run_rows peer-down
    for row in 3 5; do expect_row $row "$CHECKING \| 正常"; done
    for row in 6 7 8; do expect_row $row "$CHECKING \| 连接Stun失败"; done
    ;;
  whole-checker)
    run_rows default
    for step in '检查与Talu调度通信\.\.\.' '检查与高速调度通信\.\.\.' '检测  P2P 协议通讯\.\.\.' \
                '检测  BT  协议通讯\.\.\.' '检测 Http 协议通讯\.\.\.'; do
      check "$step shows 正常" "^$step	正常$" cat "$output"
    done
    ;;
  *) echo "unknown situation '$situation'"; exit 2 ;;
esac
finish
