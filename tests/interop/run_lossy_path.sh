#!/usr/bin/env bash
# Real clients fetch and upload through a relay that loses, duplicates and reorders datagrams:
# every file must arrive intact, and duplicated ACKs must not multiply the data the server
# sends.
#
# Usage: run_lossy_path.sh SERVER_BINARY RELAY_BINARY
set -euo pipefail
SERVER=$(realpath "$1")
RELAY=$(realpath "$2")
T=$(mktemp -d)
cleanup() {
    [[ -n ${RELAY_PID:-} ]] && kill -KILL ${RELAY_PID} 2>/dev/null
    [[ -n ${PID:-} ]] && kill -KILL "$PID" 2>/dev/null
    [[ -n ${KEEP:-} ]] || rm -rf "$T"
}
trap cleanup EXIT
source "$(dirname "$0")/headless_server.sh"
mkdir -p "$T/out"
head -c 524288 /dev/urandom >"$T/out/f.bin"
PORT=$((20000 + RANDOM % 20000))
RELAY_PORT=$((PORT + 20000))
# Timeout 1: a silent client is retried at every 5-second pass, so a lost resend costs a pass.
HIVE_EXTRA='"Timeout"="1"' start_headless_server "$T" "$PORT" "$SERVER" || true
fail() {
    echo "FAIL: $*"
    sed 's/^/  | /' "$T/stderr"
    ls -la "$T/in" | sed 's/^/  in | /'
    grep -v Status "$T/stdout" | tail -20 | sed 's/^/  out | /'
    exit 1
}
# BusyBox fetches and uploads through a path that loses, duplicates and reorders. curl answers
# every repeated DATA with a repeated ACK, the very client that drove an avalanche of resends,
# so it fetches through a path that duplicates only (it waits long before repeating anything,
# and its uploads mishandle reordered and repeated answers on their own).
#   relay   client   lost  duplicated  reordered (%, both ways)
PATHS=("busybox 3 10 5" "curl 0 10 0")
RELAY_PIDS=()
for i in 0 1; do
    read -r client loss dup reorder <<<"${PATHS[$i]}"
    "$RELAY" $((RELAY_PORT + i)) "$PORT" 7 "$loss" "$dup" "$reorder" "$T/stats.$client" &
    RELAY_PIDS+=($!)
done
RELAY_PID="${RELAY_PIDS[*]}"
sleep 0.2

BB=$RELAY_PORT
CURL=$((RELAY_PORT + 1))
timeout 120 busybox tftp -b 1428 -g -l "$T/busybox.bin" -r f.bin 127.0.0.1 "$BB" 2>/dev/null ||
    fail "busybox fetch"
timeout 120 busybox tftp -b 1428 -p -l "$T/out/f.bin" -r busybox.bin 127.0.0.1 "$BB" \
    2>/dev/null || fail "busybox upload"
timeout 120 curl -s --tftp-blksize 1428 -o "$T/curl.bin" "tftp://127.0.0.1:$CURL/f.bin" ||
    fail "curl fetch"
sleep 0.5  # the final ACK may still be on its way through the relay
cmp -s "$T/busybox.bin" "$T/out/f.bin" || fail "busybox fetch differs"
cmp -s "$T/curl.bin" "$T/out/f.bin" || fail "curl fetch differs"
cmp -s "$T/in/busybox.bin" "$T/out/f.bin" || fail "busybox upload differs"
[[ -z $(find "$T/in" -name '.*') ]] || fail "temporary files left: $(ls -a "$T/in")"

kill -TERM ${RELAY_PID}
wait ${RELAY_PID} || true
RELAY_PID=
summary=
for client in busybox curl; do
    read -r data distinct < <(sed 's/data=\([0-9]*\) distinct=\([0-9]*\)/\1 \2/' "$T/stats.$client")
    # 368 blocks: resends only for what was lost, never an avalanche of copies.
    (( distinct >= 368 && data * 4 <= distinct * 5 )) ||
        fail "$client: the server sent $data DATA datagrams for $distinct blocks"
    summary+=" $client $data/$distinct"
done
kill -TERM "$PID"
wait "$PID" || fail "exit status $? after SIGTERM"
PID=
echo "PASS: fetches and uploads intact through loss, duplication and reordering (DATA sent/blocks:$summary)"
