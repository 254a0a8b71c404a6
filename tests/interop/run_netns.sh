#!/usr/bin/env bash
# Both programs on a real network: two network namespaces joined by a veth pair, each with its
# loopback and its end of the pair. ravendockd runs headless in one with its default settings
# (no hive, port 69, the current folder) and no terminal, so it must pick the veth address by
# itself; merrowinc in the other fetches from it and sends to it, in octet and netascii, and
# must exit 0 with the same bytes.
#
# Usage: run_netns.sh MERROWINC_BINARY RAVENDOCKD_BINARY
#
# Needs root and network namespaces; where they cannot be made it says why and exits 77, which
# ctest counts as skipped. The addresses come from 198.18.0.0/15, the range set aside for
# network tests, and exist only inside the two namespaces, which are removed at the end.
set -uo pipefail

CLIENT_BIN=$(realpath "${1:?usage: $0 MERROWINC_BINARY RAVENDOCKD_BINARY}")
SERVER_BIN=$(realpath "${2:?usage: $0 MERROWINC_BINARY RAVENDOCKD_BINARY}")
SERVER_NS=raven-srv-$$
CLIENT_NS=raven-cli-$$
SERVER_IF=rvs$$
CLIENT_IF=rvc$$
SERVER_IP=198.18.13.1
CLIENT_IP=198.18.13.2

skip() {
    echo "SKIP: $*"
    exit 77
}

[[ $(id -u) -eq 0 ]] || skip "network namespaces need root"
command -v ip >/dev/null || skip "ip (iproute2) not installed"

T=$(mktemp -d /tmp/merrowinc-netns.XXXXXX)
SERVER_PID=
cleanup() {
    if [[ -n $SERVER_PID ]]; then
        kill -TERM "$SERVER_PID" 2>/dev/null
        for _ in $(seq 1 50); do
            kill -0 "$SERVER_PID" 2>/dev/null || break
            sleep 0.1
        done
        kill -KILL "$SERVER_PID" 2>/dev/null
        wait "$SERVER_PID" 2>/dev/null
    fi
    ip netns del "$SERVER_NS" 2>/dev/null
    ip netns del "$CLIENT_NS" 2>/dev/null
    rm -rf "$T"
}
trap cleanup EXIT

ip netns add "$SERVER_NS" 2>"$T/ns.err" || skip "cannot make a network namespace: $(cat "$T/ns.err")"
ip netns add "$CLIENT_NS" 2>"$T/ns.err" || skip "cannot make a network namespace: $(cat "$T/ns.err")"
setup() {
    ip link add "$SERVER_IF" type veth peer name "$CLIENT_IF" &&
        ip link set "$SERVER_IF" netns "$SERVER_NS" &&
        ip link set "$CLIENT_IF" netns "$CLIENT_NS" &&
        ip -n "$SERVER_NS" addr add "$SERVER_IP/24" dev "$SERVER_IF" &&
        ip -n "$CLIENT_NS" addr add "$CLIENT_IP/24" dev "$CLIENT_IF" &&
        for ns in "$SERVER_NS" "$CLIENT_NS"; do ip -n "$ns" link set lo up || return 1; done &&
        ip -n "$SERVER_NS" link set "$SERVER_IF" up &&
        ip -n "$CLIENT_NS" link set "$CLIENT_IF" up
}
setup 2>"$T/ns.err" || skip "cannot join the namespaces with a veth pair: $(cat "$T/ns.err")"

PASSED=0
FAILED=0
fail() {
    echo "FAIL: $*"
    FAILED=$((FAILED + 1))
}
pass() {
    echo "PASS: $*"
    PASSED=$((PASSED + 1))
}

# The server: default settings (an empty configuration folder), run from its own folder, with
# no terminal on any of its descriptors.
mkdir -p "$T/server/config" "$T/client/config"
head -c 300000 /dev/urandom >"$T/server/data.bin"
perl -e 'for (1 .. 3000) { print "line $_\n"; print "dos\r\n" if $_ % 3 == 0; print "cr\r" if $_ % 7 == 0 }' \
    >"$T/client/text.txt"
(cd "$T/server" && XDG_CONFIG_HOME="$T/server/config" exec setsid \
    ip netns exec "$SERVER_NS" "$SERVER_BIN" --headless) </dev/null >"$T/server.out" 2>"$T/server.err" &
SERVER_PID=$!
for _ in $(seq 1 50); do
    grep -q "listening on" "$T/server.err" && break
    sleep 0.1
done
if grep -q "listening on $SERVER_IP" "$T/server.err"; then
    pass "the server chose $SERVER_IP by itself"
else
    fail "the server does not listen on $SERVER_IP: $(cat "$T/server.err")"
fi

client() { # args...: merrowinc in the client namespace, no terminal; sets RC
    RC=0
    (cd "$T/client" && XDG_CONFIG_HOME="$T/client/config" timeout 60 \
        ip netns exec "$CLIENT_NS" "$CLIENT_BIN" --headless "-H$SERVER_IP" "$@") \
        </dev/null >"$T/client.out" 2>"$T/client.err" || RC=$?
}

case_of() { # what got expected: after a client run, exit 0 and the same bytes
    if [[ $RC -ne 0 ]]; then
        fail "$1: exit status $RC: $(tail -n 3 "$T/client.err")"
    elif ! cmp -s "$2" "$3"; then
        fail "$1: the bytes differ"
    else
        pass "$1 from the other namespace, exit status 0, byte for byte"
    fi
}

client -B "-G$T/client/got.bin" -Rdata.bin
case_of "octet fetch" "$T/client/got.bin" "$T/server/data.bin"
client -A "-P$T/client/text.txt" -Rtext.txt
case_of "netascii send" "$T/server/text.txt" "$T/client/text.txt"
client -A "-G$T/client/back.txt" -Rtext.txt
case_of "netascii fetch" "$T/client/back.txt" "$T/client/text.txt"

echo "$PASSED passed, $FAILED failed"
[[ $FAILED -eq 0 ]]
