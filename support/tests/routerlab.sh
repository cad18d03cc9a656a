#!/bin/sh
# Run inside a fresh network namespace (unshare --net): builds a router in a second namespace
# behind a veth pair, with forwarding on and no route onwards, so that an echo to
# 198.51.100.0/24 gets "destination net unreachable" back from 192.0.2.2. Nothing leaves the
# two namespaces. Then runs the given command; DATAGRAM=1 allows ICMP datagram sockets first.
set -e
ip link set lo up
ip link add v0 type veth peer name v1
unshare --net sleep 30 &
router=$!
trap 'kill $router' EXIT
sleep 0.3
ip link set v1 netns "$router"
nsenter -t "$router" -n sh -c 'echo 1 > /proc/sys/net/ipv4/ip_forward &&
    ip link set lo up && ip addr add 192.0.2.2/24 dev v1 && ip link set v1 up'
ip addr add 192.0.2.1/24 dev v0
ip link set v0 up
ip route add 198.51.100.0/24 via 192.0.2.2
if [ -n "$DATAGRAM" ]; then
    echo '0 2147483647' > /proc/sys/net/ipv4/ping_group_range
fi
sleep 0.5
"$@"
