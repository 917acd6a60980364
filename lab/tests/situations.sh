#!/bin/bash
# The situations besides the NAT modes: each breaks what it names and nothing
# else.
source "$(dirname "$0")/common.sh"

PAGE_URL=$(lab_config_value TALU_REACHABILITY_URL)
SCHEDULER=$(lab_config_value TALU_SCHEDULER_HOST)
HS_SCHEDULER=$(lab_config_value TALU_HIGHSPEED_SCHEDULER_HOST)
PRIMARY=$(lab_config_value TALU_PRIMARY_STUN_HOST)
SECONDARY=$(lab_config_value TALU_SECONDARY_STUN_HOST)

# mode words | what is looked at | expected output (extended regex) | command (lab_probe arguments)
TABLE="
no-internet                | the page is unreachable                | ^error=connect             | http-get $PAGE_URL
no-internet                | the primary STUN server is unreachable | ^answer=none               | stun $PRIMARY
page-down                  | the page refuses connections           | ^error=connect errno=Conn  | http-get $PAGE_URL
page-down                  | STUN still answers                     | ^answer=257                | stun $PRIMARY
gateway-refuses            | the gateway still answers M-SEARCH     | ^from=$ROUTER_LAN_IP:1900  | ssdp
gateway-refuses            | AddPortMapping fails                   | error=501                  | upnp add --port 40124
no-gateway                 | no gateway answers M-SEARCH            | ^answer=none               | ssdp
no-gateway                 | nor a unicast M-SEARCH                 | ^answer=none               | ssdp --unicast $ROUTER_LAN_IP
primary-stun-silent        | the primary STUN server is silent      | ^answer=none               | stun $PRIMARY
primary-stun-silent        | on its other address too               | ^answer=none               | stun $STUN1_ALT_IP
primary-stun-silent        | the secondary still answers            | ^answer=257 .*changed=     | stun $SECONDARY
primary-stun-silent        | the peer-protocol server still answers | ^packet=have answer=[0-9]  | peer $PRIMARY $PEER_PORT bare
scheduler-silent           | the scheduler does not answer          | ^try=1 answer=none         | udp $SCHEDULER 80 scheduler
scheduler-silent           | the high-speed scheduler still answers | ^try=1 answer=8            | udp $HS_SCHEDULER 80 hs-scheduler
scheduler-answer-from=3    | the scheduler ignores the first two    | try=2 answer=none          | udp $SCHEDULER 80 scheduler --count 3
scheduler-answer-from=3    | and answers the third                  | try=3 answer=8             | udp $SCHEDULER 80 scheduler --count 3
hs-scheduler-silent        | the high-speed scheduler does not answer | ^try=1 answer=none       | udp $HS_SCHEDULER 80 hs-scheduler
hs-scheduler-answer-from=2 | the high-speed scheduler answers the second | ^try=1 answer=none.*$ | udp $HS_SCHEDULER 80 hs-scheduler --count 2
hs-scheduler-answer-from=2 | (the second)                           | try=2 answer=8             | udp $HS_SCHEDULER 80 hs-scheduler --count 2
peer-silent                | the peer responder reads, never answers | ^packet=handshake answer=none | peer $PRIMARY $PEER_PORT scrambled
peer-close-after=2         | it answers two packets                 | ^packet=bitfield answer=[0-9] | peer $PRIMARY $PEER_PORT http
peer-close-after=2         | and then closes                        | ^packet=interested answer=closed | peer $PRIMARY $PEER_PORT bare
peer-down                  | nothing listens on TCP $PEER_PORT      | ^error=connect errno=Conn  | peer $PRIMARY $PEER_PORT bare
"

trim() { sed -e 's/^ *//' -e 's/ *$//' <<<"$1"; }

current=""
while IFS='|' read -r words what pattern command; do
  words=$(trim "$words")
  [[ -z $words ]] && continue
  what=$(trim "$what") pattern=$(trim "$pattern") command=$(trim "$command")
  if [[ $words != "$current" ]]; then
    # shellcheck disable=SC2086
    set_mode $words
    current=$words
  fi
  # shellcheck disable=SC2086
  check "$words: $what" "$pattern" probe $command
done <<<"$TABLE"
finish
