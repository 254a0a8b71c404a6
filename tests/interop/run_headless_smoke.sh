#!/usr/bin/env bash
# The headless server's whole life in a few seconds: start through PATH, one fetch, one upload,
# SIGHUP (the terminal going away ends it as cleanly as SIGTERM).
# Run on every build (sanitizer builds included) so start-up and shut-down faults show.
set -euo pipefail
SERVER=$(realpath "$1")
T=$(mktemp -d)
trap '[[ -n ${PID:-} ]] && kill -KILL "$PID" 2>/dev/null; rm -rf "$T"' EXIT
source "$(dirname "$0")/headless_server.sh"
mkdir -p "$T/out"
head -c 70000 /dev/urandom >"$T/out/f.bin"
PORT=$((20000 + RANDOM % 40000))
start_headless_server "$T" "$PORT" "$(basename "$SERVER")" PATH="$(dirname "$SERVER"):$PATH" ||
    true
timeout 30 busybox tftp -g -l "$T/got.bin" -r f.bin 127.0.0.1 "$PORT"
timeout 30 busybox tftp -p -l "$T/out/f.bin" -r up.bin 127.0.0.1 "$PORT"
kill -HUP "$PID"
status=0
wait "$PID" || status=$?
PID=
fail() {
    echo "FAIL: $*"
    sed 's/^/  | /' "$T/stderr"
    exit 1
}
[[ $status -eq 0 ]] || fail "exit status $status after SIGHUP"
cmp -s "$T/got.bin" "$T/out/f.bin" || fail "fetched file differs"
cmp -s "$T/in/up.bin" "$T/out/f.bin" || fail "uploaded file differs"
grep -q "ERROR: \|runtime error" "$T/stderr" && fail "sanitizer report"
[[ $(wc -l <"$T/Ravendock.log") -eq 3 ]] || fail "log file: $(cat -A "$T/Ravendock.log")"
grep -q '"InPath"=' "$T/config/ravendockd.reg" || fail "settings not saved"
grep -qF "\"Location\"=\"$SERVER\"" "$T/config/ravendockd.reg" || fail "Location is not the real path"
grep -qF "Serving reads from $T/out/ and writes into $T/in/" "$T/stderr" || fail "served folders not named"
echo "PASS: headless start, fetch, upload, log and clean stop"
