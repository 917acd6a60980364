#!/bin/bash
# What the lab must show, in its normal situation: every server answers the
# LAN host the way the checker expects. One CTest test per part:
#
#   smoke.sh stun|ssdp|upnp|schedulers|peer|page|containment
#   smoke.sh names NAME=ADDRESS...
source "$(dirname "$0")/common.sh"

set_mode default

smoke_stun() {
  # Classic requests (no magic cookie): CHANGED-ADDRESS names the server's
  # other address and port, which the checker's change requests rely on.
  local server alternate
  for pair in "$STUN1_IP $STUN1_ALT_IP" "$STUN2_IP $STUN2_ALT_IP"; do
    read -r server alternate <<<"$pair"
    check "classic Binding Request to $server is answered with CHANGED-ADDRESS" \
      "^answer=257 origin=$server:$STUN_PORT mapped=$ROUTER_WAN_IP:[0-9]+ source=$server:$STUN_PORT changed=$alternate:$STUN_ALT_PORT$" \
      probe stun "$server" "$STUN_PORT"
  done
  # Change requests come back through a NAT only if it lets them in: look
  # at them with the NAT out of the way.
  set_mode open
  local change origin
  for row in "ip $STUN1_ALT_IP:$STUN_PORT" "port $STUN1_IP:$STUN_ALT_PORT" \
             "both $STUN1_ALT_IP:$STUN_ALT_PORT"; do
    read -r change origin <<<"$row"
    check "change request '$change' to the primary is answered from $origin" \
      "^answer=257 origin=$origin " probe stun "$STUN1_IP" "$STUN_PORT" --change "$change"
  done
}

smoke_ssdp() {
  local answer="status=HTTP/1.1 200 OK st=urn:schemas-upnp-org:service:WANIPConnection:1 location=http://$ROUTER_LAN_IP:$UPNP_HTTP_PORT/rootDesc.xml"
  check "multicast M-SEARCH for WANIPConnection:1 gets miniupnpd's answer" \
    "^from=$ROUTER_LAN_IP:1900 $answer$" probe ssdp
  # The checker also asks each default gateway directly.
  check "unicast M-SEARCH to the default gateway gets the same answer" \
    "^from=$ROUTER_LAN_IP:1900 $answer$" probe ssdp --unicast "$ROUTER_LAN_IP"
}

smoke_upnp() {
  local port=40123 location="http://$ROUTER_LAN_IP:$UPNP_HTTP_PORT/rootDesc.xml"
  probe upnp delete --port "$port" >/dev/null  # a leftover of an aborted run
  check "AddPortMapping for the LAN host succeeds" "^status=HTTP/1.1 200 OK" \
    probe upnp add --port "$port"
  check "the mapping is listed by GetSpecificPortMappingEntry" "client=$HOST_IP" \
    probe upnp get --port "$port"
  check "the mapping is listed by upnpc -l" "UDP +$port->$HOST_IP:$port" \
    lan upnpc -u "$location" -l
  check "miniupnpd put a DNAT rule for it into the lab's chain" "dport $port dnat ip to $HOST_IP:$port" \
    in_ns "$NS_ROUTER" nft list chain inet lab_upnp upnp_prerouting
  check "DeletePortMapping succeeds" "^status=HTTP/1.1 200 OK" probe upnp delete --port "$port"
  check "the mapping is gone (NoSuchEntryInArray)" "error=714" probe upnp get --port "$port"
  check_not "upnpc -l no longer lists it" "UDP +$port->" lan upnpc -u "$location" -l
}

smoke_schedulers() {
  # By name: the datagrams go where the checker's built-in names point.
  local host kind
  for row in "$(lab_config_value TALU_SCHEDULER_HOST) scheduler" \
             "$(lab_config_value TALU_HIGHSPEED_SCHEDULER_HOST) hs-scheduler"; do
    read -r host kind <<<"$row"
    check "the $kind responder answers the probe datagram on UDP $SCHEDULER_PORT" \
      "^try=1 answer=8 from=" probe udp "$host" "$SCHEDULER_PORT" "$kind"
  done
  check "the scheduler responder saw the 28-byte datagram" "size=28 answer=sent bytes=001c0303" \
    cat "$LAB_STATE/scheduler.record"
  check "the high-speed responder saw the 48-byte datagram" "size=48 answer=sent bytes=00300009" \
    cat "$LAB_STATE/hs-scheduler.record"
}

smoke_peer() {
  local host wrapping
  host=$(lab_config_value TALU_PRIMARY_STUN_HOST)
  for wrapping in scrambled bare http; do
    : >"$LAB_STATE/peer.record"
    check "all seven $wrapping packets are answered on TCP $PEER_PORT of the primary STUN host" \
      "^packet=have answer=[0-9]+$" probe peer "$host" "$PEER_PORT" "$wrapping"
    for message in handshake bitfield interested unchoke request piece have; do
      check "the responder decoded the $wrapping $message" \
        "wrapping=$wrapping message=$message .*answer=sent" cat "$LAB_STATE/peer.record"
    done
  done
}

smoke_page() {
  local url
  url=$(lab_config_value TALU_REACHABILITY_URL)
  check "the reachability page $url answers" "^status=HTTP/1.1 200" probe http-get "$url"
}

smoke_names() {
  local entry name address
  for entry in "$@"; do
    name=${entry%=*} address=${entry#*=}
    lab_is_ipv4 "$name" && continue
    check "$name resolves to $address on the LAN host" "^$address +$name\$" lan getent hosts "$name"
  done
  # Any other name fails, and at once: no resolver to wait for.
  check_not "a name the lab does not know does not resolve" "." lan getent hosts unknown.talu-lab.invalid
}

smoke_containment() {
  local fallback before after
  fallback=$(lab_config_value TALU_STUN_FALLBACK_ADDRESS)
  before=$(in_ns "$NS_INET" nft list counter ip lab_sink escaped | grep -Eo 'packets [0-9]+' | grep -Eo '[0-9]+')
  check "STUN to the fallback address $fallback gets no answer" "^answer=none" probe stun "$fallback"
  check "TCP to an address beyond the lab does not connect" "^error=connect" \
    probe http-get "http://$fallback/"
  after=$(in_ns "$NS_INET" nft list counter ip lab_sink escaped | grep -Eo 'packets [0-9]+' | grep -Eo '[0-9]+')
  check "both died at the lab's edge (dropped and counted in $NS_INET)" "^yes$" \
    bash -c "((${after:-0} >= ${before:-0} + 2)) && echo yes"
  check_not "no lab link in the machine's own namespace" "^[0-9]+: $LAB_PREFIX" ip -o link show
  check "the LAN host has only its loopback and its link to the router" \
    "^lo $LINK_HOST\$" bash -c "ip -n $NS_LAN -o link show | awk -F': ' '{print \$2}' | cut -d@ -f1 | tr '\n' ' ' | sed 's/ \$//'"
  check "the router's only links lead to the LAN host and the Internet namespace" \
    "^lo $LINK_RLAN $LINK_RWAN\$" bash -c "ip -n $NS_ROUTER -o link show | awk -F': ' '{print \$2}' | cut -d@ -f1 | tr '\n' ' ' | sed 's/ \$//'"
  check "the Internet namespace has no route onwards" "^$" bash -c "ip -n $NS_INET route show default"
}

part=${1:?usage: smoke.sh PART [ARGUMENT...]}
shift
"smoke_$part" "$@"
finish
