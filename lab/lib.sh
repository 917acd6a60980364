# Shared by the lab scripts: names, addresses and helpers. Sourced, not run.
# shellcheck shell=bash

# Every namespace, link, state directory and /etc/netns entry carries this
# prefix, so that two labs with different prefixes can stand side by side and
# leftovers of a crashed run are easy to tell from anything else. CTest gives
# each build directory a default of its own (TALU_LAB_DEFAULT_PREFIX).
LAB_PREFIX=${TALU_LAB_PREFIX:-${TALU_LAB_DEFAULT_PREFIX:-talu-}}
if [[ ! $LAB_PREFIX =~ ^[a-z][a-z0-9-]{0,9}$ ]]; then
  echo "lab: TALU_LAB_PREFIX must be 1-10 of [a-z0-9-], starting with a letter (link names have 15 characters at most)" >&2
  exit 2
fi

LAB_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
LAB_SOURCE_DIR=$(dirname "$LAB_DIR")
LAB_STATE=/run/${LAB_PREFIX}lab

NS_LAN=${LAB_PREFIX}lan
NS_ROUTER=${LAB_PREFIX}router
NS_INET=${LAB_PREFIX}inet
LAB_NAMESPACES=("$NS_LAN" "$NS_ROUTER" "$NS_INET")

# veth pairs: the LAN host's link and the router's LAN side; the router's
# WAN side and the ISP's end of it.
LINK_HOST=${LAB_PREFIX}lan0
LINK_RLAN=${LAB_PREFIX}rlan
LINK_RWAN=${LAB_PREFIX}rwan
LINK_ISP=${LAB_PREFIX}isp

LAN_PREFIX=192.168.77.0/24
HOST_IP=192.168.77.100
ROUTER_LAN_IP=192.168.77.1
WAN_PREFIX=198.51.100.0/24
ISP_IP=198.51.100.1
ROUTER_WAN_IP=198.51.100.2
# The router's second WAN address: the outside face of the host in the 1:1
# NAT modes. It stays on the link in every mode: miniupnpd repeats its STUN
# check whenever a WAN address changes.
ROUTER_SPARE_IP=198.51.100.3

# Each STUN server needs two addresses for its change-IP answers; the server
# that clients use is the first one.
STUN1_IP=198.51.100.10
STUN1_ALT_IP=198.51.100.11
STUN2_IP=198.51.100.12
STUN2_ALT_IP=198.51.100.13
STUN_PORT=3478
STUN_ALT_PORT=3479
PAGE_IP=198.51.100.20
SCHEDULER_IP=198.51.100.30
HS_SCHEDULER_IP=198.51.100.31
SCHEDULER_PORT=80
# The peer-protocol server sits on the primary STUN host, where the client
# looks for it.
PEER_IP=$STUN1_IP
PEER_PORT=8080
UPNP_HTTP_PORT=5000

INET_ADDRESSES=("$ISP_IP" "$STUN1_IP" "$STUN1_ALT_IP" "$STUN2_IP" "$STUN2_ALT_IP" "$PAGE_IP"
                "$SCHEDULER_IP" "$HS_SCHEDULER_IP")

lab_die() { echo "lab: $*" >&2; exit 1; }

lab_require_root() {
  if [[ $(id -u) -ne 0 ]]; then
    echo "lab: needs root (network namespaces, nftables, ports below 1024)" >&2
    exit 77
  fi
}

lab_require_tools() {
  local missing=() tool
  for tool in ip nft conntrack turnserver miniupnpd ss; do
    command -v "$tool" >/dev/null 2>&1 || missing+=("$tool")
  done
  if ((${#missing[@]})); then
    echo "lab: missing tools: ${missing[*]} (packages: iproute2 nftables conntrack coturn miniupnpd-nftables)" >&2
    exit 1
  fi
}

lab_ns_exists() { ip netns list 2>/dev/null | awk '{print $1}' | grep -qx -- "$1"; }

lab_is_up() { [[ -f $LAB_STATE/up ]] && lab_ns_exists "$NS_INET"; }

in_ns() { local ns=$1; shift; ip netns exec "$ns" "$@"; }

# Runs a command on the LAN host. The LAN host stands for a machine of its
# own, so its session gets a runtime directory of its own: a desktop program
# there (the checker's single-instance marker, for one) must not meet the
# copies that run on this machine or in other labs. A directory that the
# caller chose is kept; this machine's login-session directory is not, since
# every program of the user shares it.
lab_lan_runtime_dir() {
  local runtime=${XDG_RUNTIME_DIR:-}
  if [[ -z $runtime || $runtime == "/run/user/$(id -u)" ]]; then
    runtime=$LAB_STATE/lan-runtime
    mkdir -p -m 0700 "$runtime"
  fi
  echo "$runtime"
}
lab_lan() { XDG_RUNTIME_DIR=$(lab_lan_runtime_dir) ip netns exec "$NS_LAN" "$@"; }

# Waits until something in namespace $1 listens on $3 (ADDRESS:PORT) with
# protocol $2 (u or t). Generous: a loaded machine is slow, not broken.
lab_wait_listen() {
  local ns=$1 proto=$2 endpoint=$3 i
  for ((i = 0; i < 200; i++)); do
    if in_ns "$ns" ss -Hln"$proto" 2>/dev/null | awk '{print $4}' | grep -qx -- "$endpoint"; then
      return 0
    fi
    sleep 0.05
  done
  echo "lab: nothing listens on $endpoint/$proto in $ns" >&2
  return 1
}

# Starts a daemon in a namespace, in the background, and records its pid
# with the namespace it runs in. $1 namespace, $2 name (for the pid and log
# files), then the command.
lab_start() {
  local ns=$1 name=$2; shift 2
  ip netns exec "$ns" "$@" >"$LAB_STATE/$name.log" 2>&1 </dev/null &
  echo "$! $ns" >"$LAB_STATE/$name.pid"
}

# Whether the process lives. A dead daemon whose parent has gone stays a
# zombie where PID 1 does not reap (containments often run none): that counts
# as gone.
lab_alive() {
  local state
  state=$(awk '{print $3}' "/proc/$1/stat" 2>/dev/null) || return 1
  [[ -n $state && $state != Z && $state != X ]]
}

# The pid from a pid file, if that process still runs in the namespace the
# file names: a pid file that outlived its daemon must not make the lab
# signal whatever process got the number since.
lab_pid() {
  local pidfile=$LAB_STATE/$1.pid pid ns
  [[ -f $pidfile ]] || return 1
  read -r pid ns <"$pidfile" || return 1
  [[ -n $pid && -n $ns ]] && lab_alive "$pid" || return 1
  [[ $(ip netns identify "$pid" 2>/dev/null) == "$ns" ]] || return 1
  echo "$pid"
}

# Stops a daemon by its pid file: TERM, then KILL if it does not go.
lab_stop() {
  local name=$1 pid i
  if pid=$(lab_pid "$name"); then
    kill -TERM "$pid" 2>/dev/null || true
    for ((i = 0; i < 100; i++)); do
      lab_alive "$pid" || break
      sleep 0.02
    done
    if lab_alive "$pid"; then
      kill -KILL "$pid" 2>/dev/null || true
      for ((i = 0; i < 100; i++)); do
        lab_alive "$pid" || break
        sleep 0.02
      done
    fi
    # Reaps it when it is a child of this script (no message otherwise).
    wait "$pid" 2>/dev/null || true
  fi
  rm -f "$LAB_STATE/$name.pid"
}

lab_running() { lab_pid "$1" >/dev/null; }

# The build whose daemons and host names the lab uses: TALU_LAB_BUILD_DIR, or
# the build-lab directory beside the sources.
lab_build_dir() {
  local dir=${TALU_LAB_BUILD_DIR:-}
  if [[ -z $dir && -f $LAB_STATE/build-dir ]]; then dir=$(<"$LAB_STATE/build-dir"); fi
  [[ -z $dir ]] && dir=$LAB_SOURCE_DIR/build-lab
  echo "$dir"
}

# The value of a TALU_* configuration variable: from the build's CMake cache
# when there is one (a lab build may override it), else the shipped default
# in cmake/TaluConfig.cmake. Reading both keeps the lab's names in step with
# what the checker was built with.
lab_config_value() {
  local name=$1 cache
  cache=$(lab_build_dir)/CMakeCache.txt
  if [[ -f $cache ]] && grep -q "^$name:" "$cache"; then
    sed -n "s/^$name:[A-Z]*=//p" "$cache" | head -n1
    return
  fi
  sed -n "s/^set($name \"\([^\"]*\)\".*/\1/p" "$LAB_SOURCE_DIR/cmake/TaluConfig.cmake" | head -n1
}

# host[:port] of a URL's authority.
lab_url_authority() { local rest=${1#*://}; echo "${rest%%/*}"; }
lab_url_host() { local a; a=$(lab_url_authority "$1"); echo "${a%%:*}"; }
lab_url_port() {
  local a; a=$(lab_url_authority "$1")
  if [[ $a == *:* ]]; then echo "${a##*:}"; else echo 80; fi
}

lab_is_ipv4() { [[ $1 =~ ^[0-9]+\.[0-9]+\.[0-9]+\.[0-9]+$ ]]; }
