#!/bin/bash
# One hostile case: puts a misbehaving peer in place of one of the client's
# servers (or beside its gateway), runs the whole checker on the LAN host
# with its output piped, and asserts that every row ends with one of its own
# texts, that the program exits 0 within a bound with its peak RSS under a
# ceiling, and that the hostile peer was really met. The lab is back to
# normal afterwards, however the case ends.
#
#   hostile.sh CASE CHECKER DAEMON_DIR
#
# CASE is one of stun-garbage stun-trickle ssdp-flood huge-description
# scheduler-flood peer-megabyte; DAEMON_DIR holds the talu-hostile-* daemons.
set -uo pipefail
case_name=$1
checker=$2
daemons=$3
source "$(dirname "$0")/../../lab/tests/common.sh"

# A normal run takes about 5 s and the slowest legitimate one (every
# scheduler datagram lost) about 30 s: three times that is a hang.
readonly kRunBoundSeconds=90
# The terminal program peaks near 30 MB; a client that buffered what the
# peers push at it would pass this at once.
readonly kRssCeilingKb=65536
# Where the redirected STUN requests land in the Internet namespace.
readonly kHostileStunPort=13478
# Faster than the NAT test's 300 ms wait: no wait of it ever times out.
readonly kStunTrickleMs=100
# Beside miniupnpd's 5000 on the router's LAN address.
readonly kFakeGatewayPort=5001
readonly kDescriptionBytes=$((8 * 1024 * 1024))
readonly kSsdpAnswersPerSearch=2000
readonly kPeerAnswerBytes=$((1024 * 1024))
# Daemon records are written when a connection ends, just after the run.
readonly kRecordWaitTries=100
readonly kRecordWaitPause=0.05
readonly kRedirectTable=hostile_redirect

started=()
cleanup() {
  local name
  for name in ${started[@]+"${started[@]}"}; do lab_stop "$name"; done
  in_ns "$NS_INET" nft delete table ip "$kRedirectTable" 2>/dev/null || true
  # Back to normal: the lab's own responders and gateway, tracking flushed.
  "$LAB_DIR/mode" default >/dev/null 2>&1 || echo "hostile: could not set the lab back to default" >&2
  [[ -n ${run_dir:-} ]] && rm -rf "$run_dir"
}
trap cleanup EXIT

# start NAMESPACE NAME PROGRAM ARGUMENT...: a hostile daemon with its record
# beside the lab's own records.
start() {
  local ns=$1 name=$2 program=$3; shift 3
  started+=("$name")
  : >"$LAB_STATE/$name.record"
  lab_start "$ns" "$name" "$daemons/$program" --record "$LAB_STATE/$name.record" "$@"
}

fail_setup() { echo "FAIL set-up: $*"; exit 1; }

# The primary STUN server's requests go to the hostile one; coturn keeps
# running, unreached, so nothing of the lab has to be restarted.
redirect_primary_stun() {
  in_ns "$NS_INET" nft -f - <<NFT || fail_setup "nft redirect"
table ip $kRedirectTable {
  chain prerouting {
    type nat hook prerouting priority dstnat; policy accept;
    ip daddr { $STUN1_IP, $STUN1_ALT_IP } udp dport { $STUN_PORT, $STUN_ALT_PORT } redirect to :$kHostileStunPort
  }
}
NFT
  in_ns "$NS_INET" conntrack -F >/dev/null 2>&1 || true
}

set_up_case() {
  case $case_name in
    stun-garbage | stun-trickle)
      local trickle=()
      [[ $case_name == stun-trickle ]] && trickle=(--trickle-ms "$kStunTrickleMs")
      "$LAB_DIR/mode" default >/dev/null || fail_setup "lab/mode default"
      start "$NS_INET" hostile-stun talu-hostile-stun --port "$kHostileStunPort" ${trickle[@]+"${trickle[@]}"}
      lab_wait_listen "$NS_INET" u "0.0.0.0:$kHostileStunPort" || fail_setup "hostile STUN server"
      redirect_primary_stun ;;
    ssdp-flood)
      # miniupnpd stays: the flood comes on top of a working gateway.
      "$LAB_DIR/mode" default >/dev/null || fail_setup "lab/mode default"
      start "$NS_ROUTER" hostile-ssdp talu-hostile-ssdp-flood --interface "$ROUTER_LAN_IP" \
        --answers "$kSsdpAnswersPerSearch"
      lab_wait_listen "$NS_ROUTER" u "0.0.0.0:1900" || fail_setup "SSDP flood" ;;
    huge-description)
      # miniupnpd silenced, so that the fake is the only gateway that answers.
      "$LAB_DIR/mode" no-gateway >/dev/null || fail_setup "lab/mode no-gateway"
      start "$NS_ROUTER" hostile-gateway talu-hostile-gateway --address "$ROUTER_LAN_IP" \
        --http-port "$kFakeGatewayPort" --description-bytes "$kDescriptionBytes"
      lab_wait_listen "$NS_ROUTER" t "$ROUTER_LAN_IP:$kFakeGatewayPort" || fail_setup "fake gateway"
      lab_wait_listen "$NS_ROUTER" u "0.0.0.0:1900" || fail_setup "fake gateway's SSDP" ;;
    scheduler-flood)
      # The lab's scheduler responders make room; lab/mode default restarts them.
      "$LAB_DIR/mode" default >/dev/null || fail_setup "lab/mode default"
      lab_stop scheduler
      lab_stop hs-scheduler
      start "$NS_INET" hostile-scheduler talu-hostile-scheduler --address "$SCHEDULER_IP" --port "$SCHEDULER_PORT"
      start "$NS_INET" hostile-hs-scheduler talu-hostile-scheduler --address "$HS_SCHEDULER_IP" --port "$SCHEDULER_PORT"
      lab_wait_listen "$NS_INET" u "$SCHEDULER_IP:$SCHEDULER_PORT" || fail_setup "flooding scheduler"
      lab_wait_listen "$NS_INET" u "$HS_SCHEDULER_IP:$SCHEDULER_PORT" || fail_setup "flooding high-speed scheduler" ;;
    peer-megabyte)
      "$LAB_DIR/mode" peer-down >/dev/null || fail_setup "lab/mode peer-down"
      start "$NS_INET" hostile-peer talu-hostile-peer --address "$PEER_IP" --port "$PEER_PORT" \
        --answer-bytes "$kPeerAnswerBytes"
      lab_wait_listen "$NS_INET" t "$PEER_IP:$PEER_PORT" || fail_setup "megabyte peer server" ;;
    *) echo "hostile: unknown case $case_name" >&2; exit 2 ;;
  esac
}

steps=("检查网络..." "检查UPnP映射..." "检测网络类型..." "检查与Talu调度通信..."
       "跳过与缓存调度检测..." "检查与高速调度通信..." "检测  P2P 协议通讯..."
       "检测  BT  协议通讯..." "检测 Http 协议通讯...")
# The final texts each row can legitimately show, as extended regular expressions.
udp_finals='正常|解析域名失败|创建UDP套接字失败|发送数据失败:-?[0-9]+|发送数据连续5次超时|通信失败'
tcp_finals='正常|创建TCP套接字失败|解析Stun域名失败|连接Stun失败|(发送|接收) (HS|BF|ITr|UC|RQ|PC|HV) 包失败'
finals=('连接Internet成功|连接Internet失败' 'UPnp映射成功|UPnp映射失败' '网络类型为:[0-7]'
        "$udp_finals" '' "$udp_finals" "$tcp_finals" "$tcp_finals" "$tcp_finals")

# Every row its own final text; a run that found no Internet has row 0 only.
check_table() {
  local output=$1 row line expected_rows=9 result
  mapfile -t lines <<<"$output"
  [[ ${lines[0]-} == "${steps[0]}"$'\t连接Internet失败' ]] && expected_rows=1
  if ((${#lines[@]} != expected_rows)); then
    echo "FAIL expected $expected_rows rows, got ${#lines[@]}"
    failures=$((failures + 1))
  fi
  for ((row = 0; row < expected_rows && row < ${#lines[@]}; ++row)); do
    line=${lines[row]}
    result=${line#*$'\t'}
    if [[ $line != "${steps[row]}"$'\t'* ]] || ! grep -Eqx -- "${finals[row]}" <<<"$result"; then
      echo "FAIL row $row ended as '$line', not one of its own texts"
      failures=$((failures + 1))
    fi
  done
}

# Waits until the record holds at least $2 lines matching $3.
record_lines() {
  local name=$1 least=$2 pattern=$3 i count=0
  for ((i = 0; i < kRecordWaitTries; ++i)); do
    count=$(grep -Ec -- "$pattern" "$LAB_STATE/$name.record" 2>/dev/null) || count=0
    ((count >= least)) && break
    sleep "$kRecordWaitPause"
  done
  echo "$count"
}

expect_met() {
  local description=$1 name=$2 least=$3 pattern=$4 count
  count=$(record_lines "$name" "$least" "$pattern")
  if ((count >= least)); then
    echo "ok   $description ($count)"
  else
    echo "FAIL $description: $count of $least lines /$pattern/ in $LAB_STATE/$name.record"
    sed 's/^/     | /' "$LAB_STATE/$name.record" | tail -n 20
    failures=$((failures + 1))
  fi
}

check_hostile_peer_met() {
  case $case_name in
    stun-garbage | stun-trickle)
      expect_met "the garbage STUN server answered the client's requests" hostile-stun 1 'answers=[1-9]' ;;
    ssdp-flood)
      expect_met "searches were flooded" hostile-ssdp 1 "flood=$kSsdpAnswersPerSearch/" ;;
    huge-description)
      expect_met "the oversized description was fetched, and dropped unread" hostile-gateway 1 \
        'description from=.* request="GET /rootDesc.xml HTTP/1.1" sent=' ;;
    scheduler-flood)
      expect_met "the scheduler probe was flooded" hostile-scheduler 1 'flood started'
      expect_met "the high-speed scheduler probe was flooded" hostile-hs-scheduler 1 'flood started' ;;
    peer-megabyte)
      # Rows 6, 7 and 8: one connection each.
      expect_met "all three TCP probes were each owed megabytes" hostile-peer 3 \
        'messages=[1-9][0-9]* owed=[0-9]{7,}' ;;
  esac
}

set_up_case
run_dir=$(mktemp -d)
started_at=$EPOCHREALTIME
# A single-instance marker of its own: another lab's run on this machine
# must not make this copy end at once as a second instance.
XDG_RUNTIME_DIR=$run_dir "$LAB_DIR/run" /usr/bin/time -f %M -o "$run_dir/rss" \
  timeout -s KILL "$kRunBoundSeconds" "$checker" >"$run_dir/out" 2>"$run_dir/err"
status=$?
elapsed=$(awk -v a="$started_at" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.1f", b - a }')
output=$(<"$run_dir/out")
rss=$(tail -n 1 "$run_dir/rss" 2>/dev/null)

check_table "$output"
if ((status != 0)); then
  echo "FAIL the checker ended with status $status (137: killed after ${kRunBoundSeconds}s)"
  tail -n 20 "$run_dir/err" | sed 's/^/     | /'
  failures=$((failures + 1))
fi
if [[ ! $rss =~ ^[0-9]+$ ]] || ((rss >= kRssCeilingKb)); then
  echo "FAIL peak RSS '${rss}' kB, ceiling $kRssCeilingKb kB"
  failures=$((failures + 1))
fi
check_hostile_peer_met

echo "hostile $case_name: status=$status peak_rss_kb=$rss elapsed_s=$elapsed"
sed 's/^/  | /' <<<"$output"
finish
