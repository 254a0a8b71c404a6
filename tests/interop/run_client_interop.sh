#!/usr/bin/env bash
# End-to-end interop test of the client: merrowinc in console mode against real TFTP servers on
# 127.0.0.1: tftpd-hpa (in.tftpd), atftpd and ravendockd.
#
# Usage: run_client_interop.sh MERROWINC_BINARY RAVENDOCKD_BINARY
#
# Against each server: fetch (-G) and send (-P) files of 0, 512 and 513 bytes and 1 MiB at block
# sizes 512, 1428, 8192, 65420 and 65464, and of 40 MiB at 512 and 65464, in octet (-B) and
# netascii (-A). Every run must end with exit status 0 (the transfer completed) and leave the
# expected bytes (compared by sha256). The block size is given with --blksize;
# 65464 lies beyond what the client's form accepts (64 to 65420), so there the client must print
# its "Transmission block size error" message and go on at 512. One line per case; exits
# non-zero on any failure.
#
# Expected bytes in netascii. The client, ravendockd, tftpd-hpa and atftpd all speak netascii on
# the wire as RFC 764 says for a system whose lines end with LF: sending, CR -> CR NUL and
# LF -> CR LF; receiving, CR LF -> LF and CR NUL -> CR. So every text file comes back byte for
# byte, whatever its line ends (the text files have CR LF and bare LF ones, 0x1A bytes and a lone
# CR at the end).
#
# After the matrix: failure cases (a missing file exits 1 and leaves no file, an existing file is
# kept) and a command line that cannot work (exit 2).
#
# Environment:
#   INTEROP_SERVERS  space-separated subset of: tftpd-hpa atftpd ravendockd (default: all three)
#   INTEROP_KEEP=1   keep the temporary folder for inspection
#
# tftpd-hpa must run as root (-s chroots); atftpd is the unpacked one at /usr/local/sbin/atftpd
# (scripts/setup-debian.sh).
set -uo pipefail

CLIENT_BIN=${1:-}
RAVEN_BIN=${2:-}
SERVERS=${INTEROP_SERVERS:-tftpd-hpa atftpd ravendockd}
ATFTPD=${ATFTPD:-/usr/local/sbin/atftpd}
HOST=127.0.0.1
CLIENT_TIMEOUT=120

SIZES=(0 512 513 1048576 41943040)
BLKSIZES=(512 1428 8192 65420 65464)
BIG=41943040
BIG_BLKSIZES=" 512 65464 "

die() {
    echo "client-interop: $*" >&2
    exit 2
}

absolute() { echo "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"; }

[[ -n $CLIENT_BIN && -x $CLIENT_BIN ]] || die "usage: $0 MERROWINC_BINARY RAVENDOCKD_BINARY (not executable: '$CLIENT_BIN')"
CLIENT_BIN=$(absolute "$CLIENT_BIN")
for server in $SERVERS; do
    case $server in
    ravendockd)
        [[ -n $RAVEN_BIN && -x $RAVEN_BIN ]] || die "ravendockd binary not executable: '$RAVEN_BIN'"
        RAVEN_BIN=$(absolute "$RAVEN_BIN")
        ;;
    tftpd-hpa)
        command -v in.tftpd >/dev/null || die "in.tftpd (tftpd-hpa) not installed"
        [[ $(id -u) -eq 0 ]] || die "tftpd-hpa needs root (in.tftpd -s chroots)"
        ;;
    atftpd) [[ -x $ATFTPD ]] || die "atftpd not found at $ATFTPD" ;;
    *) die "unknown server '$server' (tftpd-hpa, atftpd or ravendockd)" ;;
    esac
done
for tool in timeout sha256sum perl busybox; do
    command -v "$tool" >/dev/null || die "$tool not found"
done

T=$(mktemp -d /tmp/merrowinc-interop.XXXXXX)
SERVER_PID=
stop_server() {
    if [[ -n $SERVER_PID ]] && kill -0 "$SERVER_PID" 2>/dev/null; then
        kill -TERM "$SERVER_PID" 2>/dev/null
        for _ in $(seq 1 50); do
            kill -0 "$SERVER_PID" 2>/dev/null || break
            sleep 0.1
        done
        kill -KILL "$SERVER_PID" 2>/dev/null
    fi
    [[ -n $SERVER_PID ]] && wait "$SERVER_PID" 2>/dev/null
    SERVER_PID=
}
cleanup() {
    stop_server
    if [[ ${INTEROP_KEEP:-0} == 1 ]]; then
        echo "client-interop: kept $T"
    else
        rm -rf "$T"
    fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

SRC=$T/src   # reference copies
WORK=$T/work # the client's side
mkdir -p "$SRC" "$WORK" "$T/config"
# The client's profile stays in here, away from the user's own.
export XDG_CONFIG_HOME=$T/config

now_ms() { echo $(($(date +%s%N) / 1000000)); }
START_MS=$(now_ms)

# ---------------------------------------------------------------- test data (made once)
# Text: numbered lines, most ending in CR LF, every seventh in a bare LF, some with a bare CR or
# a 0x1A inside; cut to the exact size (the cut may leave a lone CR at the end).
make_text() { # size
    perl -e '
        my $size = shift;
        my $text = "";
        my $i = 0;
        while (length($text) < $size) {
            $i++;
            $text .= "line $i of the netascii interop text, with some words in it"
                . ($i % 11 == 0 ? " \x1a" : "") . ($i % 13 == 0 ? " bare\rcr" : "")
                . ($i % 7 == 0 ? "\n" : "\r\n");
        }
        print substr($text, 0, $size);
    ' "$1"
}

declare -A SHA # key: octet-SIZE or text-SIZE
for size in "${SIZES[@]}"; do
    head -c "$size" /dev/urandom >"$SRC/f$size.bin"
    SHA[octet-$size]=$(sha256sum <"$SRC/f$size.bin")
    make_text "$size" >"$SRC/t$size.txt"
    SHA[text-$size]=$(sha256sum <"$SRC/t$size.txt")
done

# ---------------------------------------------------------------- servers
source "$(dirname "$0")/udp_ports.sh"

# Sets SERVE (where fetched files are read) and STORE (where sent files land), starts the server.
start_server() { # kind port
    local kind=$1 port=$2 dir=$T/$1
    rm -rf "$dir"
    mkdir -p "$dir"
    : >"$T/server.log"
    case $kind in
    tftpd-hpa)
        SERVE=$dir/root STORE=$dir/root
        mkdir -p "$SERVE"
        in.tftpd -L -s -c -p -u "$(id -un)" -a "$HOST:$port" "$SERVE" >"$T/server.log" 2>&1 &
        ;;
    atftpd)
        SERVE=$dir/root STORE=$dir/root
        mkdir -p "$SERVE"
        chmod 0777 "$SERVE"
        "$ATFTPD" --daemon --no-fork --port "$port" --bind-address "$HOST" \
            --user "$(id -un)" --group "$(id -gn)" --logfile "$T/server.log" "$SERVE" \
            >"$T/server.out" 2>&1 &
        ;;
    ravendockd)
        # tsize and timeout answered, no limit on clients (finished ones count until the next
        # 5-second supervision pass, and the cases follow each other faster than that).
        SERVE=$dir/out STORE=$dir/in
        mkdir -p "$SERVE" "$STORE" "$dir/config"
        cat >"$dir/config/ravendockd.reg" <<EOF
REGEDIT4

[HKEY_CURRENT_USER\\Software\\Quenmarsh\\Tollerby]
"OutPath"="$SERVE/"
"InPath"="$STORE/"
"Port"="$port"
"Timeout"="5"
"bDelete"=dword:0000070e
"nSliders"=dword:00000065
EOF
        (cd "$dir" && XDG_CONFIG_HOME="$dir/config" exec "$RAVEN_BIN" --headless --listen=$HOST) \
            >"$T/server.log" 2>&1 &
        ;;
    esac
    SERVER_PID=$!
    for size in "${SIZES[@]}"; do
        cp "$SRC/f$size.bin" "$SRC/t$size.txt" "$SERVE/"
    done
}

# Waits until the server answers a read request for a missing file with an ERROR.
wait_ready() { # port
    local probe=$WORK/probe.out
    for _ in $(seq 1 40); do
        kill -0 "$SERVER_PID" 2>/dev/null || return 1
        if udp_port_bound "$1"; then
            rm -f "$probe"
            if timeout 2 busybox tftp -g -l "$probe" -r no-such-file.probe "$HOST" "$1" \
                2>"$WORK/probe.err" >/dev/null; then
                return 1 # a missing file must not be served
            fi
            grep -q 'server error' "$WORK/probe.err" && return 0
        fi
        sleep 0.25
    done
    return 1
}

# ---------------------------------------------------------------- cases
PASSED=0
FAILED=0
FAIL_LINES=()

report() { # PASS|FAIL server dir mode size bs elapsed_ms [why]
    local line
    line=$(printf '%-4s %-10s %-5s %-8s size=%-8s blksize=%-5s %6d ms' "$1" "$2" "$3" "$4" "$5" "$6" "$7")
    [[ -n ${8:-} ]] && line+="  ($8)"
    echo "$line"
    if [[ $1 == PASS ]]; then
        PASSED=$((PASSED + 1))
    else
        FAILED=$((FAILED + 1))
        FAIL_LINES+=("$line")
        [[ -s $WORK/client.err ]] && tail -n 5 "$WORK/client.err" | sed 's/^/     | /'
    fi
}

run_case() { # server fetch|send octet|netascii size bs
    local server=$1 dir=$2 mode=$3 size=$4 bs=$5
    local switch=-B name=f$size.bin key t0 rc=0 why=
    if [[ $mode == netascii ]]; then
        switch=-A name=t$size.txt key=text-$size
    else
        key=octet-$size
    fi
    local -a cmd=("$CLIENT_BIN" --headless "-H$HOST" "-O$PORT" "$switch" "--blksize=$bs")
    local result
    if [[ $dir == fetch ]]; then
        result=$WORK/got-$name
        rm -f "$result" # the client asks before it overwrites, and without a terminal says No
        cmd+=("-G$result" "-R$name")
    else
        result=$STORE/up-$mode-$size-$bs
        rm -f "$result"
        cmd+=("-P$SRC/$name" "-R$(basename "$result")")
    fi
    t0=$(now_ms)
    timeout "$CLIENT_TIMEOUT" "${cmd[@]}" </dev/null >"$WORK/client.out" 2>"$WORK/client.err" || rc=$?
    if [[ $rc -eq 124 ]]; then
        why="timed out after ${CLIENT_TIMEOUT}s"
    elif [[ $rc -ne 0 ]]; then
        why="exit status $rc, expected 0"
    elif grep -q 'Msg from Server' "$WORK/client.err"; then
        why="server ended it: $(grep -m1 'Msg from Server' "$WORK/client.err")"
    elif [[ ! -f $result ]]; then
        why="no file at $result"
    elif [[ $(sha256sum <"$result") != "${SHA[$key]}" ]]; then
        why="sha256 differs ($(stat -c %s "$result") bytes)"
    elif [[ $bs -gt 65420 ]] && ! grep -q 'Transmission block size error' "$WORK/client.err"; then
        why="no block size message for $bs"
    fi
    rm -f "$result"
    if [[ -z $why ]]; then
        report PASS "$server" "$dir" "$mode" "$size" "$bs" "$(($(now_ms) - t0))"
    else
        report FAIL "$server" "$dir" "$mode" "$size" "$bs" "$(($(now_ms) - t0))" "$why"
    fi
}

# A fetch the server refuses exits 1, leaves no file and keeps the one it would have replaced;
# a command line with the address parted from -H exits 2 and sends nothing.
failure_cases() { # server
    local server=$1 rc t0 why= kept=$WORK/kept.bin
    t0=$(now_ms)
    printf '[Options]\nOverWrite=Yes\n' >"$XDG_CONFIG_HOME/merrowinc.ini"
    echo precious >"$kept"
    rc=0
    timeout "$CLIENT_TIMEOUT" "$CLIENT_BIN" --headless "-H$HOST" "-O$PORT" -B "-G$kept" \
        -Rno-such-file.bin </dev/null >"$WORK/client.out" 2>"$WORK/client.err" || rc=$?
    if [[ $rc -ne 1 ]]; then
        why="missing file: exit status $rc, expected 1"
    elif [[ $(cat "$kept") != precious ]]; then
        why="the existing file was changed"
    elif [[ -n $(find "$WORK" -name '.kept.bin.part-*') ]]; then
        why="a temporary file was left behind"
    fi
    rc=0
    timeout 10 "$CLIENT_BIN" --headless -H "$HOST" "-O$PORT" "-G$kept" </dev/null \
        >"$WORK/client.out" 2>"$WORK/client.err" || rc=$?
    if [[ -z $why && $rc -ne 2 ]]; then
        why="-H with a blank: exit status $rc, expected 2"
    fi
    rm -f "$kept" "$XDG_CONFIG_HOME/merrowinc.ini"
    if [[ -z $why ]]; then
        report PASS "$server" fetch octet failures - "$(($(now_ms) - t0))"
    else
        report FAIL "$server" fetch octet failures - "$(($(now_ms) - t0))" "$why"
    fi
}

for server in $SERVERS; do
    PORT=
    for attempt in 1 2 3; do
        PORT=$(pick_port) || die "no free UDP port found"
        start_server "$server" "$PORT"
        wait_ready "$PORT" && break
        echo "client-interop: $server did not answer on $HOST:$PORT (attempt $attempt); its output:" >&2
        tail -n 20 "$T/server.log" >&2
        stop_server
        [[ $attempt -lt 3 ]] || die "$server not ready"
    done
    echo "client-interop: $server on $HOST:$PORT"
    for mode in octet netascii; do
        for dir in fetch send; do
            for size in "${SIZES[@]}"; do
                for bs in "${BLKSIZES[@]}"; do
                    if [[ $size -eq $BIG && $BIG_BLKSIZES != *" $bs "* ]]; then
                        continue
                    fi
                    run_case "$server" "$dir" "$mode" "$size" "$bs"
                done
            done
        done
    done
    failure_cases "$server"
    if ! kill -0 "$SERVER_PID" 2>/dev/null; then
        report FAIL "$server" - - - - 0 "server died during the run"
        tail -n 20 "$T/server.log" | sed 's/^/     | /'
    fi
    stop_server
done

echo "client-interop: $((PASSED + FAILED)) cases in $((($(now_ms) - START_MS) / 1000)) s: PASS $PASSED, FAIL $FAILED"
if [[ $FAILED -ne 0 ]]; then
    echo "client-interop: failures:"
    printf '  %s\n' "${FAIL_LINES[@]}"
    exit 1
fi
exit 0
