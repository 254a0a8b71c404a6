#!/usr/bin/env bash
# Real clients fetch and upload through a relay that loses, duplicates and reorders datagrams:
# every file must arrive intact, and duplicated ACKs must not multiply the data the server
# sends (each may bring back at most one resend of a block).
#
# Usage: run_lossy_path.sh SERVER_BINARY RELAY_BINARY
set -euo pipefail
SERVER=$(realpath "$1")
RELAY=$(realpath "$2")
T=$(mktemp -d)
cleanup() {
    [[ -n ${RELAY_PID:-} ]] && kill -KILL ${RELAY_PID} 2>/dev/null
    [[ -n ${PID:-} ]] && kill -KILL "$PID" 2>/dev/null
    rm -rf "$T"
}
trap cleanup EXIT
mkdir -p "$T/config" "$T/out" "$T/in"
head -c 524288 /dev/urandom >"$T/out/f.bin"
PORT=$((20000 + RANDOM % 20000))
RELAY_PORT=$((PORT + 20000))
# Timeout 1: a silent client is retried at every 5-second pass, so a lost resend costs a pass.
cat >"$T/config/ravendockd.reg" <<HIVE
REGEDIT4

[HKEY_CURRENT_USER\\Software\\Quenmarsh\\Tollerby]
"OutPath"="$T/out/"
"InPath"="$T/in/"
"Port"="$PORT"
"Timeout"="1"
"bDelete"=dword:0000070e
HIVE
(cd "$T" && XDG_CONFIG_HOME="$T/config" exec "$SERVER" --headless --listen=127.0.0.1) \
    >"$T/stdout" 2>"$T/stderr" &
PID=$!
for _ in $(seq 1 50); do
    grep -q "listening on" "$T/stderr" && break
    sleep 0.1
done
fail() {
    echo "FAIL: $*"
    sed 's/^/  | /' "$T/stderr"
    exit 1
}
# BusyBox repeats its ACK on its own timer, so it goes through a path that also loses
# datagrams; curl waits long before it repeats anything and gets duplication and reordering
# only (a lost block then costs it a supervision pass or more).
#   relay   client   lost  duplicated  reordered (%, both ways)
PATHS=("busybox 3 10 5" "curl 0 10 5")
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
timeout 120 curl -s --tftp-blksize 1428 -T "$T/out/f.bin" "tftp://127.0.0.1:$CURL/curl.bin" ||
    fail "curl upload"
sleep 0.5  # the final ACK may still be on its way through the relay
for name in busybox.bin curl.bin; do
    cmp -s "$T/$name" "$T/out/f.bin" || fail "$name fetch differs"
    cmp -s "$T/in/$name" "$T/out/f.bin" || fail "$name upload differs"
done
[[ -z $(find "$T/in" -name '.*') ]] || fail "temporary files left: $(ls -a "$T/in")"

kill -TERM ${RELAY_PID}
wait ${RELAY_PID} || true
RELAY_PID=
summary=
for client in busybox curl; do
    read -r data distinct < <(sed 's/data=\([0-9]*\) distinct=\([0-9]*\)/\1 \2/' "$T/stats.$client")
    # 368 blocks; a repeated ACK brings at most one resend of a block, never an avalanche.
    (( distinct >= 368 && data <= 2 * distinct )) ||
        fail "$client: the server sent $data DATA datagrams for $distinct blocks"
    summary+=" $client $data/$distinct"
done
kill -TERM "$PID"
wait "$PID" || fail "exit status $? after SIGTERM"
PID=
echo "PASS: fetches and uploads intact through loss, duplication and reordering (DATA sent/blocks:$summary)"
