#!/bin/bash
# Row 2 against real coturn in every NAT mode of the lab, from a check run
# on the LAN host; beside each verdict, what coturn's own RFC 5780 discovery
# says in the same mode. With the primary server silent, the secondary's
# type must show and the secondary must have been asked.
#
#   nat_type_modes.sh NAT_ROW_CHECK [RECORD_FILE]
source "$(dirname "$0")/../../lab/tests/common.sh"

NAT_ROW_CHECK=${1:?usage: nat_type_modes.sh NAT_ROW_CHECK [RECORD_FILE]}
RECORD_FILE=${2:-/dev/null}
command -v turnutils_natdiscovery >/dev/null || { echo "FAIL turnutils_natdiscovery (coturn) is missing"; exit 1; }

# lab/mode words | the type row 2 must show
TABLE="
open                                      | 0
full-cone                                 | 1
restricted-cone                           | 2
port-restricted-cone                      | 3
symmetric                                 | 4
symmetric-firewall                        | 5
udp-blocked                               | 6
port-restricted-cone primary-stun-silent  | 3
"

trim() { sed -e 's/^ *//' -e 's/ *$//' <<<"$1"; }

# coturn's verdict in one line: mapping / filtering / reflexive address.
natdiscovery_says() {
  local server=$1 report mapping filtering reflexive
  report=$(lan turnutils_natdiscovery -m -f "$server" 2>&1)
  mapping=$(grep -Eo 'NAT with .* Mapping!' <<<"$report" | sed -E 's/NAT with (.*) Mapping!/\1/' | head -n1)
  filtering=$(grep -Eo 'NAT with .* Filtering!' <<<"$report" | sed -E 's/NAT with (.*) Filtering!/\1/' | head -n1)
  reflexive=$(grep -Eo 'UDP reflexive addr: [0-9.]+' <<<"$report" | head -n1 | awk '{print $4}')
  echo "${mapping:-no} mapping / ${filtering:-no} filtering / reflexive ${reflexive:-none}"
}

: >"$RECORD_FILE"
diagnostics=$(mktemp)
while IFS='|' read -r words want; do
  words=$(trim "$words")
  [[ -z $words ]] && continue
  want=$(trim "$want")
  # shellcheck disable=SC2086  # the words are separate arguments
  set_mode $words
  rows=$(lan "$NAT_ROW_CHECK" 2>"$diagnostics")
  shown=$(grep '^row 2: ' <<<"$rows" | tail -n1 | sed 's/^row 2: //')
  coturn="primary: $(natdiscovery_says "$STUN1_IP")"
  # Where row 2 shows the secondary's verdict, coturn's view of it too.
  [[ $words == *primary-stun-silent* ]] && coturn+="; secondary: $(natdiscovery_says "$STUN2_IP")"
  record="$words: row 2 \"$shown\" | turnutils_natdiscovery: $coturn"
  echo "$record" >>"$RECORD_FILE"
  expected_rows=$'row 2: 正在检测.\nrow 2: 网络类型为:'"$want"$'\ntimer: start 2\ntimer: stop 2'
  if [[ $rows != "$expected_rows" ]]; then
    echo "FAIL $record (want 网络类型为:$want)"
    sed 's/^/     | /' <<<"$rows"
    tail -n 20 "$diagnostics" | sed 's/^/     ! /'
    failures=$((failures + 1))
    continue
  fi
  # The secondary is asked exactly when the primary gave no verdict.
  asked_secondary=no
  grep -q "About to send msg of len 28 to $STUN2_IP:3478" "$diagnostics" && asked_secondary=yes
  want_secondary=no
  [[ $want == 6 || $words == *primary-stun-silent* ]] && want_secondary=yes
  if [[ $asked_secondary != "$want_secondary" ]]; then
    echo "FAIL $record (secondary asked: $asked_secondary, want $want_secondary)"
    failures=$((failures + 1))
    continue
  fi
  echo "ok   $record"
done <<<"$TABLE"
rm -f "$diagnostics"
echo "verdicts recorded in $RECORD_FILE"
finish
