#!/usr/bin/env bash
# Runs a command in a private network namespace of its own: loopback up and, when asked, a
# LAN of its own; no other interface and no route out. The test tiers and `make run` with the
# simulated TV run here, so nothing they send (the TV probe, a network search, a stray address in
# a test) can leave the machine. Works as root and as a normal user (a user namespace maps the
# caller to root inside; nothing outside changes).
#
# Usage: netns-run.sh [--lan ADDR/PREFIX] <command> [args...]
#   --lan   a LAN of its own: lan0 here, up, with ADDR/PREFIX, the end of a veth pair whose other
#           end, lan0-peer, is in a second private namespace, the LAN's other hosts. There the
#           command adds their addresses and starts them (simulated TVs):
#             nsenter --net="$KAVORIN_LAN_NETNS" ip addr add 192.168.77.20/24 dev lan0-peer
#           Their addresses are not this PC's own, as they would be on an interface of its own.
#           The second namespace lives as long as the command.
#        netns-run.sh --check   exits 0 where such a namespace can be made, else says why
#
# Inside, KAVORIN_NETNS=1, KAVORIN_NETNS_OWN names the interfaces made here and
# KAVORIN_NETNS_OUTSIDE the namespace it left (the namespace test checks that it is elsewhere and
# that there are no other interfaces); with --lan, KAVORIN_LAN_NETNS is the LAN's namespace. Called
# again inside, it runs the command as it is, unless it is asked for a LAN.
set -euo pipefail

if [ "${1:-}" = --inside ]; then
  shift
  ip link set lo up
  own=lo
  if [ "${1:-}" = --lan ]; then
    ip link add lan0 type veth peer name lan0-peer
    ip addr add "$2" dev lan0
    ip link set lan0 up
    # The other hosts' namespace, held by a process that ends with this one (it becomes the
    # command below).
    setpriv --pdeathsig KILL -- unshare --net -- sleep infinity &
    holder=$!
    here=$(readlink /proc/self/ns/net)
    for _ in $(seq 100); do
      there=$(readlink "/proc/$holder/ns/net" 2>/dev/null) || there=
      [ -n "$there" ] && [ "$there" != "$here" ] && break
      sleep 0.05
    done
    [ -n "$there" ] && [ "$there" != "$here" ] || { echo "netns-run: the LAN's namespace did not start" >&2; exit 1; }
    ip link set lan0-peer netns "$holder"
    nsenter --net="/proc/$holder/ns/net" sh -c 'ip link set lo up && ip link set lan0-peer up'
    export KAVORIN_LAN_NETNS="/proc/$holder/ns/net"
    own="lo lan0"
    shift 2
  fi
  export KAVORIN_NETNS=1 KAVORIN_NETNS_OWN="$own"
  exec "$@"
fi

can_unshare() {
  local why
  if ! why=$(unshare --user --map-root-user --net true 2>&1); then
    echo "netns-run: cannot make a private network namespace here: ${why:-unshare failed}" >&2
    echo "netns-run: user namespaces must be allowed (sysctl kernel.unprivileged_userns_clone=1," \
      "user.max_user_namespaces > 0); tests never run on the machine's own network" >&2
    return 1
  fi
}

if [ "${1:-}" = --check ]; then
  can_unshare
  exit
fi
[ $# -gt 0 ] || { echo "usage: $0 [--lan ADDR/PREFIX] <command> [args...]" >&2; exit 2; }
if [ "${KAVORIN_NETNS:-}" = 1 ] && [ "${1:-}" != --lan ]; then
  exec "$@"
fi
can_unshare || exit 1
# Nested (a LAN inside the tiers' namespace), the machine's own namespace stays the one to compare
# with: the namespace left here may end as this process leaves it, and its number be reused.
if [ "${KAVORIN_NETNS:-}" != 1 ] || [ -z "${KAVORIN_NETNS_OUTSIDE:-}" ]; then
  KAVORIN_NETNS_OUTSIDE=$(readlink /proc/self/ns/net)
fi
export KAVORIN_NETNS_OUTSIDE
exec unshare --user --map-root-user --net -- "$0" --inside "$@"
