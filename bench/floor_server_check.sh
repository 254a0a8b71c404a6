#!/usr/bin/env bash
# Quick end-to-end check of floor-server against curl, tftp-hpa's tftp and (when installed) atftp,
# plus a few raw packets for the refusals and the paths no client takes.
# Usage: bench/floor_server_check.sh build/release/bench/floor-server
set -euo pipefail

if [[ $# -ne 1 || ! -x $1 ]]; then
    echo "usage: $0 PATH/TO/floor-server" >&2
    exit 2
fi
BIN=$(realpath "$1")

WORK=$(mktemp -d /tmp/floor-check.XXXXXX)
SRV=$WORK/srv
OUT=$WORK/out
mkdir -p "$SRV" "$OUT"
SERVER_PID=

cleanup() {
    if [[ -n $SERVER_PID ]] && kill -0 "$SERVER_PID" 2>/dev/null; then
        kill -TERM "$SERVER_PID" 2>/dev/null || true
    fi
    rm -rf "$WORK"
}
trap cleanup EXIT

passed=0
failed=0
ok() { passed=$((passed + 1)); }
bad() {
    failed=$((failed + 1))
    echo "FAIL: $*"
}
# same EXPECTED GOT WHAT: the two files have identical contents
same() {
    if [[ -f $2 ]] && cmp -s "$1" "$2"; then ok; else bad "$3"; fi
}

# Raw-packet helper: every socket operation has a timeout, every loop a fixed bound.
cat >"$WORK/raw.py" <<'EOF'
import socket, sys

def sock():
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.bind(("127.0.0.1", 0))
    return s

def reply(s, wait):
    s.settimeout(wait)
    try:
        return s.recvfrom(70000)
    except socket.timeout:
        return None, None

def describe(pkt):
    if pkt is None:
        return "none"
    op = int.from_bytes(pkt[:2], "big")
    if op == 5:
        return "ERROR %d" % int.from_bytes(pkt[2:4], "big")
    if op == 6:
        return "OACK " + " ".join(x.decode() for x in pkt[2:].split(b"\0")[:-1])
    return "op%d %d" % (op, int.from_bytes(pkt[2:4], "big"))

cmd, port = sys.argv[1], int(sys.argv[2])
srv = ("127.0.0.1", port)
if cmd == "ready":  # an RRQ for a missing file must draw an ERROR
    s = sock()
    s.sendto(b"\0\1no-such-file\0octet\0", srv)
    sys.exit(0 if describe(reply(s, 0.2)[0]).startswith("ERROR") else 1)
elif cmd == "raw":  # send one packet given as a Python bytes literal, print the answer
    s = sock()
    s.sendto(eval(sys.argv[3]), srv)
    print(describe(reply(s, float(sys.argv[4]) if len(sys.argv) > 4 else 1.0)[0]))
elif cmd == "lockstep":
    # RRQ with blksize 4 (must come back clamped to 8), with a stray ACK from another port and a
    # duplicate ACK thrown in; neither may draw an answer. Writes the received file to argv[4].
    name, out = sys.argv[3], sys.argv[4]
    s = sock()
    s.sendto(b"\0\1" + name.encode() + b"\0octet\0blksize\0" + b"4\0tsize\0" + b"0\0", srv)
    pkt, tid = reply(s, 1.0)
    if describe(pkt) != "OACK blksize 8 tsize 511":
        sys.exit("bad OACK: " + describe(pkt))
    s.connect(tid)
    s.send(b"\0\4\0\0")
    data, block = b"", 0
    for _ in range(1000):
        pkt, _ = reply(s, 1.0)
        if pkt is None or pkt[:2] != b"\0\3":
            sys.exit("expected DATA, got " + describe(pkt))
        block += 1
        if int.from_bytes(pkt[2:4], "big") != block:
            sys.exit("DATA out of order")
        data += pkt[4:]
        if block == 3:
            other = sock()
            other.sendto(b"\0\4\0\3", tid)  # wrong TID: ignored
            s.send(b"\0\4\0\2")  # stale ACK: ignored
            if reply(s, 0.3)[0] is not None:
                sys.exit("answered a stale or foreign ACK")
        s.send(b"\0\4" + block.to_bytes(2, "big"))
        if len(pkt) - 4 < 8:
            break
    open(out, "wb").write(data)
EOF
raw() { timeout 10 python3 "$WORK/raw.py" "$@"; }

# Test files: empty, one short block, exactly one block (ends with a 0-byte DATA), two full
# 65464-byte blocks, a bit over 1 MiB, and 40 MiB so that 512-byte blocks wrap the block number.
: >"$SRV/empty"
head -c 511 /dev/urandom >"$SRV/f511"
head -c 512 /dev/urandom >"$SRV/f512"
head -c $((2 * 65464)) /dev/urandom >"$SRV/f2x65464"
head -c $((1024 * 1024 + 7)) /dev/urandom >"$SRV/f1m7"
head -c $((40 * 1024 * 1024)) /dev/urandom >"$SRV/f40m"
SMALL=(empty f511 f512 f2x65464 f1m7)

PORT=$(python3 -c 'import socket; s=socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
"$BIN" --port="$PORT" --root="$SRV" >"$WORK/server.log" 2>&1 &
SERVER_PID=$!
ready=0
for _ in $(seq 50); do
    if raw ready "$PORT"; then
        ready=1
        break
    fi
    sleep 0.1
done
if [[ $ready -ne 1 ]]; then
    cat "$WORK/server.log"
    echo "FAIL: server did not answer on 127.0.0.1:$PORT"
    exit 1
fi
URL=tftp://127.0.0.1:$PORT

# curl, both directions, each block size (no --tftp-blksize: curl's default request).
for bs in 512 1428 65464 default; do
    opt=()
    [[ $bs == default ]] || opt=(--tftp-blksize "$bs")
    for f in "${SMALL[@]}"; do
        rm -f "$OUT/$f.$bs"
        timeout 60 curl -s "${opt[@]}" "$URL/$f" -o "$OUT/$f.$bs" || true
        same "$SRV/$f" "$OUT/$f.$bs" "curl get $f blksize $bs"
        timeout 60 curl -s "${opt[@]}" -T "$SRV/$f" "$URL/up.$f.$bs" || true
        same "$SRV/$f" "$SRV/up.$f.$bs" "curl put $f blksize $bs"
    done
done

# Block numbers past 65535, both directions.
timeout 120 curl -s --tftp-blksize 512 "$URL/f40m" -o "$OUT/f40m" || true
same "$SRV/f40m" "$OUT/f40m" "curl get f40m blksize 512"
timeout 120 curl -s --tftp-blksize 512 -T "$SRV/f40m" "$URL/up.f40m" || true
same "$SRV/f40m" "$SRV/up.f40m" "curl put f40m blksize 512"
rm -f "$OUT/f40m" "$SRV/up.f40m"

# 16 concurrent fetches of two files (transfers of one file share its mapping).
pids=()
for i in $(seq 16); do
    f=f1m7
    [[ $((i % 4)) -eq 0 ]] && f=f2x65464
    timeout 60 curl -s --tftp-blksize 1428 "$URL/$f" -o "$OUT/conc.$i.$f" &
    pids+=($!)
done
for p in "${pids[@]}"; do wait "$p" || true; done
for i in $(seq 16); do
    f=f1m7
    [[ $((i % 4)) -eq 0 ]] && f=f2x65464
    same "$SRV/$f" "$OUT/conc.$i.$f" "concurrent fetch $i of $f"
done

# tftp-hpa: no options at all, so DATA 1 / ACK 0 answer the request directly.
for f in "${SMALL[@]}" f40m; do
    rm -f "$OUT/hpa.$f"
    timeout 120 tftp 127.0.0.1 "$PORT" -m binary -c get "$f" "$OUT/hpa.$f" >/dev/null 2>&1 || true
    same "$SRV/$f" "$OUT/hpa.$f" "tftp-hpa get $f"
done
rm -f "$OUT/hpa.f40m"
for f in "${SMALL[@]}"; do
    timeout 60 tftp 127.0.0.1 "$PORT" -m binary -c put "$SRV/$f" "hpa.$f" >/dev/null 2>&1 || true
    same "$SRV/$f" "$SRV/hpa.$f" "tftp-hpa put $f"
done

if command -v atftp >/dev/null; then
    for f in "${SMALL[@]}"; do
        timeout 60 atftp -g -r "$f" -l "$OUT/at.$f" 127.0.0.1 "$PORT" >/dev/null 2>&1 || true
        same "$SRV/$f" "$OUT/at.$f" "atftp get $f"
        timeout 60 atftp --option "blksize 8192" -g -r "$f" -l "$OUT/at8k.$f" 127.0.0.1 "$PORT" \
            >/dev/null 2>&1 || true
        same "$SRV/$f" "$OUT/at8k.$f" "atftp get $f blksize 8192"
        timeout 60 atftp --option "blksize 8192" -p -r "at.$f" -l "$SRV/$f" 127.0.0.1 "$PORT" \
            >/dev/null 2>&1 || true
        same "$SRV/$f" "$SRV/at.$f" "atftp put $f blksize 8192"
    done
else
    echo "note: atftp not installed, skipped"
fi

# Refusals and odd packets.
expect() {  # expect WHAT WANT GOT
    if [[ $3 == "$2" ]]; then ok; else bad "$1: wanted '$2', got '$3'"; fi
}
rc=0
timeout 10 curl -s "$URL/no-such-file" -o "$OUT/missing" || rc=$?
expect "curl missing file (exit 68 = TFTP not found)" 68 "$rc"
rc=0
timeout 10 curl -s --path-as-is "$URL/../f511" -o "$OUT/dotdot" || rc=$?
expect "curl ../f511 (exit 69 = TFTP permission)" 69 "$rc"
expect "RRQ missing" "ERROR 1" "$(raw raw "$PORT" 'b"\0\1nope\0octet\0"')"
expect "RRQ ../f511" "ERROR 2" "$(raw raw "$PORT" 'b"\0\1../f511\0octet\0"')"
expect "RRQ a/b" "ERROR 2" "$(raw raw "$PORT" 'b"\0\1a/b\0octet\0"')"
expect "RRQ a\\b" "ERROR 2" "$(raw raw "$PORT" 'b"\0\1a\\b\0octet\0"')"
expect "RRQ empty name" "ERROR 2" "$(raw raw "$PORT" 'b"\0\1\0octet\0"')"
expect "WRQ ../x" "ERROR 2" "$(raw raw "$PORT" 'b"\0\2../x\0octet\0"')"
expect "RRQ directory ." "ERROR 2" "$(raw raw "$PORT" 'b"\0\1.\0octet\0"')"
expect "unknown opcode" "ERROR 4" "$(raw raw "$PORT" 'b"\0\x09xx"')"
expect "RRQ without NULs" "none" "$(raw raw "$PORT" 'b"\0\1f511" ' 0.3)"
expect "2-byte packet" "none" "$(raw raw "$PORT" 'b"\0\1"' 0.3)"
expect "RRQ netascii, no options" "op3 1" "$(raw raw "$PORT" 'b"\0\1f511\0NetASCII\0"')"
expect "RRQ unknown option only" "op3 1" "$(raw raw "$PORT" 'b"\0\1f511\0octet\0foo\0bar\0"')"
expect "RRQ blksize 99999, timeout 3" "OACK blksize 65464 timeout 3" \
    "$(raw raw "$PORT" 'b"\0\1f511\0octet\0blksize\x0099999\0timeout\0003\0"')"
expect "WRQ tsize echo" "OACK tsize 12345" "$(raw raw "$PORT" 'b"\0\2junk\0octet\0tsize\x0012345\0"')"
if raw lockstep "$PORT" f511 "$OUT/lockstep" 2>"$WORK/lockstep.err"; then
    same "$SRV/f511" "$OUT/lockstep" "lock-step RRQ with blksize clamped to 8"
else
    bad "lock-step RRQ: $(cat "$WORK/lockstep.err")"
fi

# Every finished transfer must have closed its socket. The four left open above by raw requests
# that were never continued (netascii, unknown option, blksize/timeout, WRQ tsize) stay until the
# idle sweep; nothing else may.
sockets=-1
for _ in $(seq 30); do
    sockets=$(find "/proc/$SERVER_PID/fd" -lname 'socket:*' | wc -l)
    [[ $sockets -le 5 ]] && break
    sleep 0.1
done
expect "open sockets (listener + 4 abandoned)" 5 "$sockets"

# Clean exit on SIGTERM.
stop_server() {
    kill -TERM "$SERVER_PID"
    for _ in $(seq 50); do
        kill -0 "$SERVER_PID" 2>/dev/null || break
        sleep 0.1
    done
    status=0
    if kill -0 "$SERVER_PID" 2>/dev/null; then
        bad "server still running 5 s after SIGTERM"
        kill -KILL "$SERVER_PID"
    fi
    wait "$SERVER_PID" || status=$?
    SERVER_PID=
    expect "exit status after SIGTERM" 0 "$status"
}
stop_server

# A failing write: a second server whose file size limit is 300 KiB must answer an upload of
# 1 MiB with ERROR 3 (curl exit 70 = disk full) and keep serving.
PORT=$(python3 -c 'import socket; s=socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
URL=tftp://127.0.0.1:$PORT
bash -c 'ulimit -f 300; exec "$0" "$@"' "$BIN" --port="$PORT" --root="$SRV" >/dev/null 2>&1 &
SERVER_PID=$!
for _ in $(seq 50); do
    raw ready "$PORT" && break
    sleep 0.1
done
rc=0
timeout 30 curl -s --tftp-blksize 1428 -T "$SRV/f1m7" "$URL/toobig" || rc=$?
expect "upload past the file size limit (curl exit 70 = disk full)" 70 "$rc"
rm -f "$OUT/after"
timeout 30 curl -s --tftp-blksize 1428 "$URL/f1m7" -o "$OUT/after" || true
same "$SRV/f1m7" "$OUT/after" "fetch after a failed upload"
stop_server

if [[ $failed -eq 0 ]]; then
    echo "PASS: floor-server, $passed checks"
else
    echo "FAIL: floor-server, $failed of $((passed + failed)) checks failed"
    exit 1
fi
