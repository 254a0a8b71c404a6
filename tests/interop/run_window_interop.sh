#!/usr/bin/env bash
# Windowed transfers (the windowsize option, RFC 7440) end to end on 127.0.0.1:
#   atftp's client against ravendockd, fetch and upload;
#   merrowinc --windowsize against atftpd and against ravendockd, fetch and send;
#   merrowinc against ravendockd through a relay that loses 5 % of the datagrams both ways.
# Block sizes 512 and 1428; at 512 a file of more than 65535 blocks makes block numbers wrap.
# Every file is checked by sha256. One line per case; exits non-zero on any failure.
#
# Usage: run_window_interop.sh RAVENDOCKD MERROWINC
# Environment: ATFTPD (default /usr/local/sbin/atftpd), WINDOW_INTEROP_KEEP=1 keeps the folder.
set -uo pipefail

RAVEN_BIN=${1:-}
CLIENT_BIN=${2:-}
ATFTPD=${ATFTPD:-/usr/local/sbin/atftpd}
HOST=127.0.0.1
WINDOW=16
CASE_TIMEOUT=120
HERE=$(cd "$(dirname "$0")" && pwd)

die() {
    echo "window-interop: $*" >&2
    exit 2
}
absolute() { echo "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"; }
[[ -x $RAVEN_BIN && -x $CLIENT_BIN ]] || die "usage: $0 RAVENDOCKD MERROWINC"
RAVEN_BIN=$(absolute "$RAVEN_BIN")
CLIENT_BIN=$(absolute "$CLIENT_BIN")
command -v atftp >/dev/null || die "atftp not installed"
[[ -x $ATFTPD ]] || die "atftpd not found at $ATFTPD"
command -v python3 >/dev/null || die "python3 not installed"

T=$(mktemp -d /tmp/window-interop.XXXXXX)
PIDS=()
cleanup() {
    for pid in "${PIDS[@]}"; do
        kill -TERM "$pid" 2>/dev/null
    done
    for pid in "${PIDS[@]}"; do
        wait "$pid" 2>/dev/null
    done
    if [[ ${WINDOW_INTEROP_KEEP:-0} == 1 ]]; then echo "kept $T"; else rm -rf "$T"; fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

source "$(dirname "$0")/udp_ports.sh"
wait_bound() {
    for _ in $(seq 1 40); do
        udp_port_bound "$1" && return 0
        sleep 0.25
    done
    return 1
}
now_ms() { echo $(($(date +%s%N) / 1000000)); }

# ---------------------------------------------------------------- files and servers
SRC=$T/src WORK=$T/work RAVEN_OUT=$T/raven/out RAVEN_IN=$T/raven/in ATFTPD_ROOT=$T/atftpd
mkdir -p "$SRC" "$WORK" "$RAVEN_OUT" "$RAVEN_IN" "$T/raven/config" "$ATFTPD_ROOT"
chmod 0777 "$ATFTPD_ROOT"
# 0 bytes; a little over 1 MiB (the last window ends short); 34,000,000 bytes (66407 blocks of
# 512: the numbers wrap).
SIZES=(0 1048581 34000000)
declare -A SHA
for size in "${SIZES[@]}"; do
    head -c "$size" /dev/urandom >"$SRC/f$size.bin"
    SHA[$size]=$(sha256sum <"$SRC/f$size.bin" | cut -d' ' -f1)
    cp "$SRC/f$size.bin" "$RAVEN_OUT/"
    cp "$SRC/f$size.bin" "$ATFTPD_ROOT/"
done
LOSSY_SIZE=300000
head -c $LOSSY_SIZE /dev/urandom >"$SRC/lossy.bin"
cp "$SRC/lossy.bin" "$RAVEN_OUT/"

RAVEN_PORT=$(pick_port) || die "no free port"
cat >"$T/raven/config/ravendockd.reg" <<REG
REGEDIT4

[HKEY_CURRENT_USER\\Software\\Quenmarsh\\Tollerby]
"OutPath"="$RAVEN_OUT/"
"InPath"="$RAVEN_IN/"
"Port"="$RAVEN_PORT"
"Timeout"="2"
"nClientLimit"=dword:00000064
"bDelete"=dword:0000070e
"nSliders"=dword:00000065
REG
(cd "$T/raven" && XDG_CONFIG_HOME="$T/raven/config" exec "$RAVEN_BIN" --headless --listen=$HOST) \
    >"$T/raven.log" 2>&1 &
PIDS+=($!)
ATFTPD_PORT=$(pick_port) || die "no free port"
"$ATFTPD" --daemon --no-fork --port "$ATFTPD_PORT" --bind-address "$HOST" --user "$(id -un)" \
    --group "$(id -gn)" --logfile "$T/atftpd.log" "$ATFTPD_ROOT" >"$T/atftpd.out" 2>&1 &
PIDS+=($!)
wait_bound "$RAVEN_PORT" || die "ravendockd did not bind $RAVEN_PORT: $(tail -n 5 "$T/raven.log")"
wait_bound "$ATFTPD_PORT" || die "atftpd did not bind $ATFTPD_PORT"

# ---------------------------------------------------------------- cases
PASSED=0 FAILED=0
report() { # PASS|FAIL label ms [why]
    printf '%-4s %-58s %6d ms%s\n' "$1" "$2" "$3" "${4:+  ($4)}"
    if [[ $1 == PASS ]]; then PASSED=$((PASSED + 1)); else FAILED=$((FAILED + 1)); fi
}
check() { # label t0 rc file size [why]
    local why=${6:-}
    if [[ -z $why && $3 -eq 124 ]]; then
        why="timed out"
    elif [[ -z $why && ! -f $4 ]]; then
        why="no file"
    elif [[ -z $why && $(sha256sum <"$4" | cut -d' ' -f1) != "${SHA[$5]}" ]]; then
        why="sha256 differs ($(stat -c %s "$4") bytes)"
    fi
    if [[ -z $why ]]; then report PASS "$1" $(($(now_ms) - $2)); else report FAIL "$1" $(($(now_ms) - $2)) "$why"; fi
}

# atftp asks ravendockd for the window; its trace shows the OACK on the small files.
for bs in 512 1428; do
    for size in "${SIZES[@]}"; do
        [[ $bs -eq 1428 && $size -eq 0 ]] && continue
        opts=(--option "windowsize $WINDOW" --option "blksize $bs")
        trace=()
        [[ $size -le 1048581 ]] && trace=(--trace)
        got=$WORK/atftp-get-$bs-$size
        t0=$(now_ms) rc=0 why=
        timeout $CASE_TIMEOUT atftp "${trace[@]}" "${opts[@]}" -g -l "$got" -r "f$size.bin" $HOST "$RAVEN_PORT" \
            >"$WORK/atftp.out" 2>&1 || rc=$?
        [[ $rc -ne 0 && $rc -ne 124 ]] && why="exit status $rc"
        if [[ -z $why && ${#trace[@]} -gt 0 ]] && ! grep -q "received OACK <.*windowsize: $WINDOW" "$WORK/atftp.out"; then
            why="no windowsize $WINDOW in the OACK"
        fi
        check "atftp fetch from ravendockd bs=$bs size=$size" "$t0" "$rc" "$got" "$size" "$why"
        rm -f "$got"

        up=up-atftp-$bs-$size
        t0=$(now_ms) rc=0 why=
        timeout $CASE_TIMEOUT atftp "${trace[@]}" "${opts[@]}" -p -l "$SRC/f$size.bin" -r "$up" $HOST "$RAVEN_PORT" \
            >"$WORK/atftp.out" 2>&1 || rc=$?
        [[ $rc -ne 0 && $rc -ne 124 ]] && why="exit status $rc"
        if [[ -z $why && ${#trace[@]} -gt 0 ]] && ! grep -q "received OACK <.*windowsize: $WINDOW" "$WORK/atftp.out"; then
            why="no windowsize $WINDOW in the OACK"
        fi
        sleep 0.1 # the last write is closed as the final ACK leaves
        check "atftp upload to ravendockd bs=$bs size=$size" "$t0" "$rc" "$RAVEN_IN/$up" "$size" "$why"
        rm -f "$RAVEN_IN/$up"
    done
done

# merrowinc with --windowsize against atftpd and ravendockd.
merrowinc_case() { # server port store bs size fetch|send [extra label]
    local server=$1 port=$2 store=$3 bs=$4 size=$5 dir=$6 label=${7:-} result rc=0 why= t0
    local -a cmd=("$CLIENT_BIN" --headless "-H$HOST" "-O$port" -B "--blksize=$bs" "--windowsize=$WINDOW")
    if [[ $dir == fetch ]]; then
        result=$WORK/got-$server-$bs-$size
        rm -f "$result"
        cmd+=("-G$result" "-R${8:-f$size.bin}")
    else
        result=$store/up-merrowinc-$bs-$size
        rm -f "$result"
        cmd+=("-P${9:-$SRC/f$size.bin}" "-R$(basename "$result")")
    fi
    t0=$(now_ms)
    timeout $CASE_TIMEOUT "${cmd[@]}" </dev/null >"$WORK/client.out" 2>"$WORK/client.err" || rc=$?
    [[ $rc -ne 0 && $rc -ne 124 ]] && why="exit status $rc: $(tail -n 1 "$WORK/client.err")"
    sleep 0.1
    check "merrowinc $dir $server bs=$bs size=$size$label" "$t0" "$rc" "$result" "$size" "$why"
    rm -f "$result"
}
for bs in 512 1428; do
    for size in "${SIZES[@]}"; do
        [[ $bs -eq 1428 && $size -eq 0 ]] && continue
        for dir in fetch send; do
            merrowinc_case atftpd "$ATFTPD_PORT" "$ATFTPD_ROOT" "$bs" "$size" "$dir"
            merrowinc_case ravendockd "$RAVEN_PORT" "$RAVEN_IN" "$bs" "$size" "$dir"
        done
    done
done

# Under 5 % loss both ways: a relay between merrowinc and ravendockd.
RELAY_PORT=$(pick_port) || die "no free port"
python3 "$HERE/lossy_relay.py" "$RELAY_PORT" "$RAVEN_PORT" 0.05 7 300 2>"$T/relay.log" &
PIDS+=($!)
wait_bound "$RELAY_PORT" || die "relay did not bind"
SHA[$LOSSY_SIZE]=$(sha256sum <"$SRC/lossy.bin" | cut -d' ' -f1)
WINDOW=8
for dir in fetch send; do
    merrowinc_case ravendockd "$RELAY_PORT" "$RAVEN_IN" 1428 $LOSSY_SIZE $dir " 5% loss" \
        lossy.bin "$SRC/lossy.bin"
done

echo "$PASSED passed, $FAILED failed"
[[ $FAILED -eq 0 ]]
