#!/bin/bash
# Row 1 against real miniupnpd on the lab's LAN host, one situation per call:
#
#   upnp_row_lab.sh pass|refused|no-default-gateway|cut-short UPNP_ROW_CHECK
#
# pass                a working gateway: "UPnp映射成功", both protocols were
#                     mapped on the gateway, and none of our mappings is left
# refused             the gateway refuses mappings: "UPnp映射失败", none left
# no-default-gateway  the host has no default route: "UPnp映射失败", and not a
#                     single SSDP datagram left the host
# cut-short           the user leaves, and the run's window ends, while the
#                     TCP add is still in progress: no mapping left
source "$(dirname "$0")/../../lab/tests/common.sh"

CASE=${1:?usage: upnp_row_lab.sh CASE UPNP_ROW_CHECK}
UPNP_ROW_CHECK=${2:?usage: upnp_row_lab.sh CASE UPNP_ROW_CHECK}

# 19999 plus the last octet of the LAN host's address.
PORT=$((19999 + ${HOST_IP##*.}))
LOCATION="http://$ROUTER_LAN_IP:$UPNP_HTTP_PORT/rootDesc.xml"
MAPPED=$'row 1: 正在检测.\nrow 1: UPnp映射成功\ntimer: start 1\ntimer: stop 1'
NOT_MAPPED=$'row 1: 正在检测.\nrow 1: UPnp映射失败\ntimer: start 1\ntimer: stop 1'
# The cut-short case: the user leaves in the middle of the run, and the
# router holds back our TCP AddPortMapping until the run's window (about
# 4.1 s) is over, so that the add is still in progress when the run ends.
CUT_SHORT_EXIT_MS=1500
WINDOW_OVER_S=5
# Once the hold is lifted: the add's next TCP retransmission (backed off to
# a few seconds by then) and the removal after it.
SETTLE_BOUND_S=60
# The add is told by its Content-Length after the request line and the HOST
# header. Found through the WANIPConnection answer it is "633" (for this
# host's address) at byte 68 of the TCP payload, after "POST /ctl/IPConn
# HTTP/1.1". miniupnpd also answers the WANPPPConnection search, which its
# description lacks: that add goes to an empty control URL ("POST  HTTP/1.1")
# with a body one byte longer, "634" at byte 57, and miniupnpd carries it
# out all the same, going by the SOAPACTION alone. Whichever answer comes
# first, its add is held. (This kernel has no netem to slow the link
# instead.)
HOLD_TABLE=upnp_lab_hold
hold_our_add() {
  in_ns "$NS_ROUTER" nft -f - <<NFT
table ip $HOLD_TABLE {
  chain input {
    type filter hook input priority filter - 10; policy accept;
    tcp dport $UPNP_HTTP_PORT @ih,544,24 0x363333 counter drop
    tcp dport $UPNP_HTTP_PORT @ih,456,24 0x363334 counter drop
  }
}
NFT
}
release_our_add() { in_ns "$NS_ROUTER" nft delete table ip "$HOLD_TABLE" 2>/dev/null; }
held_segments() {
  in_ns "$NS_ROUTER" nft list table ip "$HOLD_TABLE" | grep -Eo 'packets [0-9]+' |
    awk '{sum += $2} END {print sum}'
}

# Runs one check run on the LAN host and compares row 1's texts and timer
# calls (the elapsed time is only shown).
run_row_check() {
  local description=$1 expected=$2 output; shift 2
  output=$(lan "$UPNP_ROW_CHECK" "$@" 2>&1)
  if [[ $(grep -v '^elapsed ms: ' <<<"$output") == "$expected" ]]; then
    echo "ok   $description ($(grep '^elapsed ms: ' <<<"$output"))"
  else
    echo "FAIL $description"
    sed 's/^/     | /' <<<"$output"
    failures=$((failures + 1))
  fi
}

# Whatever names our port on the gateway: its own listing over SOAP, and the
# rules miniupnpd put into the router's tables.
check_no_mapping_left() {
  # The listing below proves nothing unless the gateway answered it.
  check "the gateway lists its mappings" "i protocol exPort->inAddr:inPort" \
    lan upnpc -u "$LOCATION" -l
  check_not "upnpc -l lists no mapping of port $PORT" "[0-9]+->$HOST_IP:$PORT" \
    lan upnpc -u "$LOCATION" -l
  check_not "the router holds no rule for port $PORT" "dport $PORT" \
    in_ns "$NS_ROUTER" nft list table inet lab_upnp
}

# miniupnpd's own log: which of our mappings it actually carried out since
# the mark (a line count of its log).
gateway_log_since() { tail -n +"$(($1 + 1))" "$LAB_STATE/miniupnpd.log"; }
gateway_log_mark() { wc -l <"$LAB_STATE/miniupnpd.log"; }
check_gateway_added() {
  local mark=$1 protocol
  for protocol in "${@:2}"; do
    check "the gateway carried out our AddPortMapping for $protocol $PORT" \
      "ext port $PORT to $HOST_IP:$PORT protocol $protocol" gateway_log_since "$mark"
  done
}

case $CASE in
  pass)
    set_mode default
    mark=$(gateway_log_mark)
    run_row_check "a working gateway: row 1 shows success" "$MAPPED"
    check_gateway_added "$mark" TCP UDP
    check_no_mapping_left
    ;;
  refused)
    set_mode gateway-refuses
    run_row_check "a gateway that refuses mappings: row 1 shows failure" "$NOT_MAPPED"
    check_no_mapping_left
    ;;
  no-default-gateway)
    set_mode default
    # Without a default route multicast would have no way out either, so a
    # route for the multicast range stays: a search that went out anyway
    # would then leave the host and be counted.
    trap 'lan ip route replace default via "$ROUTER_LAN_IP"; lan ip route del 224.0.0.0/4 2>/dev/null;
          lan nft delete table ip upnp_lab_count 2>/dev/null; "$LAB_DIR/mode" default >/dev/null' EXIT
    lan ip route del default
    lan ip route add 224.0.0.0/4 dev "$LINK_HOST"
    lan nft -f - <<NFT
table ip upnp_lab_count {
  counter ssdp {}
  chain output { type filter hook output priority filter; policy accept; udp dport 1900 counter name ssdp; }
}
NFT
    run_row_check "no default gateway: row 1 shows failure" "$NOT_MAPPED"
    check "not one SSDP datagram left the host" "packets 0 bytes 0" \
      lan nft list counter ip upnp_lab_count ssdp
    ;;
  cut-short)
    set_mode default
    trap 'release_our_add; "$LAB_DIR/mode" default >/dev/null' EXIT
    hold_our_add || { echo "FAIL the router cannot hold back the add"; exit 1; }
    mark=$(gateway_log_mark)
    output=$(mktemp)
    lan "$UPNP_ROW_CHECK" --exit-after-ms "$CUT_SHORT_EXIT_MS" >"$output" 2>&1 &
    run=$!
    sleep "$WINDOW_OVER_S"
    check "the TCP add was held back at the router" '^[1-9]' held_segments
    if kill -0 "$run" 2>/dev/null; then
      echo "ok   the exit waits while the add is in progress"
    else
      echo "FAIL the run ended while its add was still in progress"
      failures=$((failures + 1))
    fi
    release_our_add
    for ((i = 0; i < SETTLE_BOUND_S * 10; i++)); do kill -0 "$run" 2>/dev/null || break; sleep 0.1; done
    wait "$run"
    # The outcome is the one at the end of the window: TCP had not passed.
    if [[ $(grep -v '^elapsed ms: ' "$output") == "$NOT_MAPPED" ]]; then
      echo "ok   row 1 shows failure ($(grep '^elapsed ms: ' "$output"))"
    else
      echo "FAIL row 1 after leaving during the mapping test"
      sed 's/^/     | /' "$output"
      failures=$((failures + 1))
    fi
    rm -f "$output"
    check_gateway_added "$mark" TCP
    check_no_mapping_left
    ;;
  *) echo "unknown case $CASE"; exit 2 ;;
esac
finish
