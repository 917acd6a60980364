#!/bin/bash
# Each NAT mode behaves as it says, by the RFC 5780 discovery that ships with
# coturn, run from the LAN host against the primary STUN server.
source "$(dirname "$0")/common.sh"

command -v turnutils_natdiscovery >/dev/null || { echo "FAIL turnutils_natdiscovery (coturn) is missing"; exit 1; }

# mode | mapping | filtering | the host's address as the STUN server sees it
# ("none": no answer at all, as with UDP blocked or no uplink).
TABLE="
open                 | Endpoint Independent        | Endpoint Independent        | $HOST_IP
full-cone            | Endpoint Independent        | Endpoint Independent        | $ROUTER_SPARE_IP
restricted-cone      | Endpoint Independent        | Address Dependent           | $ROUTER_SPARE_IP
port-restricted-cone | Endpoint Independent        | Address and Port Dependent  | $ROUTER_WAN_IP
symmetric            | Address and Port Dependent  | Address and Port Dependent  | $ROUTER_WAN_IP
symmetric-firewall   | Endpoint Independent        | Address and Port Dependent  | $HOST_IP
udp-blocked          | none                        | none                        | none
no-internet          | none                        | none                        | none
"

trim() { sed -e 's/^ *//' -e 's/ *$//' <<<"$1"; }

while IFS='|' read -r mode mapping filtering reflexive; do
  mode=$(trim "$mode")
  [[ -z $mode ]] && continue
  mapping=$(trim "$mapping") filtering=$(trim "$filtering") reflexive=$(trim "$reflexive")
  set_mode "$mode"
  # It exits 0 whether or not anything answered: only its text tells.
  report=$(lan turnutils_natdiscovery -m -f "$STUN1_IP" 2>&1)
  got_mapping=$(grep -Eo 'NAT with .* Mapping!' <<<"$report" | sed -E 's/NAT with (.*) Mapping!/\1/' | head -n1)
  got_filtering=$(grep -Eo 'NAT with .* Filtering!' <<<"$report" | sed -E 's/NAT with (.*) Filtering!/\1/' | head -n1)
  got_reflexive=$(grep -Eo 'UDP reflexive addr: [0-9.]+' <<<"$report" | head -n1 | awk '{print $4}')
  got="${got_mapping:-none} / ${got_filtering:-none} / ${got_reflexive:-none}"
  want="$mapping / $filtering / $reflexive"
  if [[ $got == "$want" ]]; then
    echo "ok   $mode: $got"
  else
    echo "FAIL $mode: got $got, want $want"
    sed 's/^/     | /' <<<"$report"
    failures=$((failures + 1))
  fi
done <<<"$TABLE"
finish
