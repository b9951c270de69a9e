#!/usr/bin/env python3
"""Proves, without sending anything, that the tests run in a private network namespace made by
tools/netns-run.sh: another namespace than the one it was made from, no interfaces but loopback
and the ones it made, and no route out (IPv4 or IPv6)."""
import os
import sys

RTF_GATEWAY, RTF_REJECT = 0x0002, 0x0200


def problems():
    if os.environ.get("KAVORIN_NETNS") != "1":
        yield "not inside tools/netns-run.sh (run the tier as the README says)"
        return
    outside = os.environ.get("KAVORIN_NETNS_OUTSIDE", "")
    if not outside or os.readlink("/proc/self/ns/net") == outside:
        yield "the network namespace is the one the run was started in"
    own = set(os.environ.get("KAVORIN_NETNS_OWN", "lo").split())
    with open("/proc/net/dev") as f:
        interfaces = {line.split(":")[0].strip() for line in f.readlines()[2:]}
    for name in sorted(interfaces - own):
        yield "interface %s is not the namespace's own" % name
    with open("/proc/net/route") as f:
        for line in f.readlines()[1:]:
            cols = line.split()
            iface, dest, flags, mask = cols[0], cols[1], int(cols[3], 16), cols[7]
            if iface not in own:
                yield "IPv4 route through %s" % iface
            if (dest == "00000000" and mask == "00000000") or flags & RTF_GATEWAY:
                yield "IPv4 route out: %s" % " ".join(cols[:4])
    with open("/proc/net/ipv6_route") as f:
        for line in f:
            cols = line.split()
            iface, prefix_len, flags = cols[9], int(cols[1], 16), int(cols[8], 16)
            if iface not in own:
                yield "IPv6 route through %s" % iface
            # Loopback's ::/0 is the kernel's own "unreachable" entry: it rejects.
            if (prefix_len == 0 and not flags & RTF_REJECT) or flags & RTF_GATEWAY:
                yield "IPv6 route out: %s/%d via %s" % (cols[0], prefix_len, iface)


def main():
    found = list(problems())
    for p in found:
        print("FAILED: " + p)
    print("network namespace: %d passed, %d failed" % (0 if found else 1, 1 if found else 0))
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
