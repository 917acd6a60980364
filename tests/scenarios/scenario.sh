#!/bin/bash
# One scenario of the matrix: puts the lab into a network situation, runs the
# checker on the LAN host with its output piped, and compares the whole table
# with the one a user in that situation must see.
#
#   scenario.sh SCENARIO CHECKER
#
# A cell written "A|B" accepts either text: where the Part of the run that
# learns of a closed connection first is a race (a send or a receive), both
# failure texts are right.
set -euo pipefail
scenario=$1
checker=$2
lab=$(cd "$(dirname "$0")/../../lab" && pwd)

if [[ $(id -u) -ne 0 ]]; then
  echo "scenario: skipped: the simulated home network needs root" >&2
  exit 77
fi

steps=("检查网络..." "检查UPnP映射..." "检测网络类型..." "检查与Talu调度通信..."
       "跳过与缓存调度检测..." "检查与高速调度通信..." "检测  P2P 协议通讯..."
       "检测  BT  协议通讯..." "检测 Http 协议通讯...")
# What every row shows when everything answers behind a home router.
results=("连接Internet成功" "UPnp映射成功" "网络类型为:3" "正常" "" "正常" "正常" "正常" "正常")
rows=9
mode=(default)

case $scenario in
  default) ;;
  open) mode=(open); results[2]="网络类型为:0" ;;
  full-cone) mode=(full-cone); results[2]="网络类型为:1" ;;
  restricted-cone) mode=(restricted-cone); results[2]="网络类型为:2" ;;
  port-restricted-cone) mode=(port-restricted-cone) ;;
  symmetric) mode=(symmetric); results[2]="网络类型为:4" ;;
  symmetric-firewall) mode=(symmetric-firewall); results[2]="网络类型为:5" ;;
  udp-blocked)
    mode=(udp-blocked)
    results[2]="网络类型为:6"; results[3]="通信失败"; results[5]="通信失败" ;;
  no-internet) mode=(no-internet); rows=1; results[0]="连接Internet失败" ;;
  page-down) mode=(page-down); rows=1; results[0]="连接Internet失败" ;;
  gateway-refuses) mode=(gateway-refuses); results[1]="UPnp映射失败" ;;
  no-gateway) mode=(no-gateway); results[1]="UPnp映射失败" ;;
  primary-stun-silent) mode=(primary-stun-silent) ;;  # the secondary answers: still 3
  schedulers-silent)
    mode=(scheduler-silent hs-scheduler-silent); results[3]="通信失败"; results[5]="通信失败" ;;
  peer-silent)
    mode=(peer-silent)
    results[6]="接收 HS 包失败"; results[7]="接收 HS 包失败"; results[8]="接收 HS 包失败" ;;
  peer-close-after-4)
    mode=(peer-close-after=4)
    results[6]="接收 RQ 包失败|发送 RQ 包失败"; results[7]=${results[6]}; results[8]=${results[6]} ;;
  *) echo "scenario: unknown scenario $scenario" >&2; exit 2 ;;
esac

"$lab/mode" "${mode[@]}"
trap '"$lab/mode" default >/dev/null 2>&1 || true' EXIT

status=0
output=$("$lab/run" "$checker" 2>/dev/null) || status=$?

expected_line() {
  printf '%s\t%s' "${steps[$1]}" "${results[$1]}"
}

failed=0
mapfile -t lines <<<"$output"
if ((${#lines[@]} != rows)); then
  echo "scenario $scenario: expected $rows rows, got ${#lines[@]}" >&2
  failed=1
fi
for ((row = 0; row < rows; ++row)); do
  line=${lines[row]-}
  ok=0
  IFS='|' read -r -a accepted <<<"${results[row]}"
  ((${#accepted[@]})) || accepted=("")
  for result in "${accepted[@]}"; do
    [[ $line == "${steps[row]}"$'\t'"$result" ]] && ok=1
  done
  if ((!ok)); then
    echo "scenario $scenario: row $row: expected '$(expected_line "$row")', got '$line'" >&2
    failed=1
  fi
done
if ((status != 0)); then
  echo "scenario $scenario: the checker ended with status $status" >&2
  failed=1
fi
((failed)) && { printf '%s\n' "$output" >&2; exit 1; }
echo "scenario $scenario: table as expected"
