#!/usr/bin/env bash
# netlab's life cycle, seen from the machine's own namespace: two labs side by side, a
# half-built lab, a failed bring-up, and "down" leaving no namespace, link, process or folder.
# Usage: netlab_lifecycle_test.sh NETLAB DEVSIM ID
set -euo pipefail

netlab=$1
devsim=$2
id=$3
if [ "$(id -u)" -ne 0 ]; then
    echo "skipped: the test LAN needs root"
    exit 77
fi

NETLAB_STATE_ROOT=$(mktemp -d /tmp/netlab-lifecycle.XXXXXX)
export NETLAB_STATE_ROOT
a=$id-a
b=$id-b
failures=0

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# Links and addresses of the machine's own namespace: the lab must not change them.
# (Names and addresses only: states and address lifetimes may change on their own.)
root_view() { ip -br addr show | awk '{ $2 = ""; print }'; }

namespaces_of() { ip netns list | awk '{print $1}' | grep -E "^$1-" || true; }

# Processes whose command line names the lab's folder (simulators, TFTP servers).
processes_of() {
    local pid argv
    for pid in /proc/[0-9]*; do
        mapfile -d '' argv 2>/dev/null <"$pid/cmdline" || continue
        [[ " ${argv[*]} " == *"$NETLAB_STATE_ROOT/$1/"* ]] && echo "${pid#/proc/}"
    done
    return 0
}

expect_gone() {
    local lab=$1
    [ -z "$(namespaces_of "$lab")" ] || fail "$lab: namespaces left: $(namespaces_of "$lab" | xargs)"
    [ -z "$(processes_of "$lab")" ] || fail "$lab: processes left: $(processes_of "$lab" | xargs)"
    [ ! -e "$NETLAB_STATE_ROOT/$lab" ] || fail "$lab: state folder left"
    [ ! -e "/etc/netns/$lab-pc" ] || fail "$lab: /etc/netns/$lab-pc left"
}

cleanup() {
    "$netlab" down --name "$a" >/dev/null 2>&1 || true
    "$netlab" down --name "$b" >/dev/null 2>&1 || true
    rm -rf "$NETLAB_STATE_ROOT"
}
trap cleanup EXIT

before=$(root_view)

echo "== without root, every command is skipped"
set +e
message=$(setpriv --reuid=nobody --regid=nogroup --clear-groups "$netlab" up --name "$a" 2>&1)
status=$?
set -e
[ $status -eq 77 ] || fail "up without root ended with $status, not 77"
[[ $message == *"needs root"* ]] || fail "no clear message without root: $message"

echo "== the simulator refuses the machine's own namespace"
set +e
message=$("$devsim" --port 30999 2>&1)
status=$?
set -e
[ $status -eq 3 ] || fail "devsim in the machine's namespace ended with $status, not 3"
[[ $message == *"refusing"* ]] || fail "no clear message from devsim: $message"

echo "== two labs come up at once and stay apart"
"$netlab" up --name "$a" --devices 2 --devsim "$devsim" &
up_a=$!
"$netlab" up --name "$b" --devices 1 --devsim "$devsim" &
up_b=$!
wait $up_a || fail "up of $a failed"
wait $up_b || fail "up of $b failed"
[ "$(namespaces_of "$a" | wc -l)" -eq 4 ] || fail "$a: expected 4 namespaces"
[ "$(namespaces_of "$b" | wc -l)" -eq 3 ] || fail "$b: expected 3 namespaces"
"$netlab" exec --name "$a" pc -- ping -c 1 -W 1 -q 192.0.2.12 >/dev/null ||
    fail "$a: dev2 does not answer"
"$netlab" exec --name "$b" pc -- ping -c 1 -W 1 -q 192.0.2.12 >/dev/null &&
    fail "$b reaches a device of $a"
"$netlab" exec --name "$a" dev1 -- ping -c 1 -W 1 -q 192.0.2.1 >/dev/null ||
    fail "$a: dev1 does not reach the computer"
# The computer may open ICMP datagram sockets, as an unprivileged Quillet does.
range=$("$netlab" exec --name "$a" pc -- cat /proc/sys/net/ipv4/ping_group_range)
[ "${range//$'\t'/ }" = "0 2147483647" ] || fail "ping_group_range in pc: $range"
# A name lookup inside the lab fails at once: the machine's name server is out of reach.
started=$EPOCHREALTIME
"$netlab" exec --name "$a" pc -- getent hosts lab-lookup.invalid >/dev/null &&
    fail "a made-up name resolved inside the lab"
elapsed_ms=$(((${EPOCHREALTIME/./} - ${started/./}) / 1000))
[ $elapsed_ms -lt 3000 ] || fail "a failed lookup inside the lab took $elapsed_ms ms"
env_name=$("$netlab" exec --name "$a" pc -- sh -c 'echo "$NETLAB_NAME $NETLAB_DEVICES"')
[ "$env_name" = "$a 2" ] || fail "exec environment: $env_name"

echo "== down of one lab leaves the other whole"
"$netlab" down --name "$a"
expect_gone "$a"
"$netlab" exec --name "$b" pc -- ping -c 1 -W 1 -q 192.0.2.11 >/dev/null ||
    fail "$b lost its device when $a went down"

echo "== down finds a simulator whose namespace was deleted under it"
ip netns del "$b-dev1"
"$netlab" down --name "$b"
expect_gone "$b"

echo "== up cleans a half-built lab of the same name first"
ip netns add "$a-pc"
ip netns add "$a-dev7"
"$netlab" up --name "$a" --devices 1 --devsim "$devsim" || fail "up over a half-built lab failed"
! namespaces_of "$a" | grep -qx "$a-dev7" || fail "$a-dev7 of the half-built lab left"
"$netlab" down --name "$a"
expect_gone "$a"

echo "== a failed up removes what it built"
set +e
"$netlab" up --name "$b" --devices 2 --devsim /bin/false 2>/dev/null
status=$?
set -e
[ $status -ne 0 ] || fail "up with a simulator that cannot start succeeded"
expect_gone "$b"

[ "$(root_view)" = "$before" ] || fail "the machine's own links or addresses changed"

if [ $failures -ne 0 ]; then
    echo "$failures failure(s)"
    exit 1
fi
echo "all passed"
