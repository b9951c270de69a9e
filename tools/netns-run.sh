#!/usr/bin/env bash
# Runs a command in a private network namespace of its own: loopback up and, when asked, a
# LAN of its own; no other interface and no route out. The test tiers and `make run` with the
# simulated TV run here, so nothing they send (the TV probe, a network search, a stray address in
# a test) can leave the machine. Works as root and as a normal user (a user namespace maps the
# caller to root inside; nothing outside changes).
#
# Usage: netns-run.sh [--lan ADDR/PREFIX] <command> [args...]
#   --lan   a veth pair lan0 / lan0-peer, both up, with ADDR/PREFIX on lan0: a LAN-like network
#           whose other addresses the command may add to lan0-peer for simulated hosts
#        netns-run.sh --check   exits 0 where such a namespace can be made, else says why
#
# Inside, KAVORIN_NETNS=1, KAVORIN_NETNS_OWN names the interfaces made here and
# KAVORIN_NETNS_OUTSIDE the namespace it left (the namespace test checks that it is elsewhere and
# that there are no other interfaces). Called again inside, it runs the command as it is.
set -euo pipefail

if [ "${1:-}" = --inside ]; then
  shift
  ip link set lo up
  own=lo
  if [ "${1:-}" = --lan ]; then
    ip link add lan0 type veth peer name lan0-peer
    ip addr add "$2" dev lan0
    ip link set lan0 up
    ip link set lan0-peer up
    own="lo lan0 lan0-peer"
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
KAVORIN_NETNS_OUTSIDE=$(readlink /proc/self/ns/net)
export KAVORIN_NETNS_OUTSIDE
exec unshare --user --map-root-user --net -- "$0" --inside "$@"
