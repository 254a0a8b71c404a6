#!/usr/bin/env bash
# End-to-end interop test: real TFTP clients against a running server on 127.0.0.1.
#
# Usage: run_interop.sh SERVER_BINARY
#
# Fetches (RRQ) and uploads (WRQ) random files of 0, 1, 511, 512, 513 bytes, 1 MiB and 40 MiB at
# block sizes 512, 1428, 8192 and 65464 (where the client can ask for a block size), checks the
# sha256 every time, then a text file in mode netascii. One line per case; exits non-zero on any
# failure.
#
# Environment:
#   INTEROP_SERVER   ravendockd (default): SERVER_BINARY --headless --listen=127.0.0.1, set up by
#                    a registry hive in a temporary XDG_CONFIG_HOME; reads from out/, uploads to
#                    in/, text-mode rules below.
#                    tftpd-hpa: in.tftpd -L -s -c -p started by hand on one folder (no
#                    SERVER_BINARY needed; must run as root because -s chroots). Used to check
#                    the client invocations themselves against a known-good server.
#   INTEROP_CLIENTS  space-separated subset of: tftp-hpa curl atftp busybox (default: all four)
#   INTEROP_LEAN=1   the 40 MiB file only at block size 512 (the block-number wrap case)
#   INTEROP_PORT     listening port (default: a free random high port)
#   INTEROP_KEEP=1   keep the temporary folder for inspection
#
# What each client can do (tftp-hpa 5.2, curl 7.88.1, atftp 0.8.0, BusyBox 1.35.0 on Debian 12):
#   tftp-hpa (tftp)  no RFC 2347 options at all: no blksize, so 512 only; sends no tsize.
#                    Default mode is netascii ("ascii"), so octet must be asked for: -m octet.
#                    Syntax: tftp -m MODE HOST PORT -c get REMOTE LOCAL | put LOCAL REMOTE.
#                    Exit status is 0 even when the server sends an ERROR ("Error code N: ...")
#                    and it leaves an empty local file behind, so its output is checked too
#                    (a time-out does give a non-zero status).
#                    netascii: -m netascii. Sending: every CR -> CR NUL, then LF -> CR LF.
#                    Receiving: CR LF -> LF, CR NUL -> CR, anything else unchanged.
#                    Block numbers wrap 65535 -> 0 in both directions.
#   curl             --tftp-blksize N (8..65464), -T FILE to upload, output on stdout to fetch.
#                    Always sends tsize (0 on RRQ, file size on WRQ), blksize (512 too) and
#                    timeout 6; --tftp-no-options sends none. Rejects an OACK tsize of 0
#                    ("invalid tsize -:0:- value in OACK packet", exit 71), so a 0-byte fetch
#                    only works with --tftp-no-options, i.e. at 512 only.
#                    netascii: ";mode=netascii" URL suffix; curl only names the mode and does NO
#                    conversion in either direction. Block numbers wrap 65535 -> 0.
#                    -v prints "blksize parsed from OACK (N)", used to check the negotiation.
#   atftp            --option "blksize N" (8..65464); -g/-p -l LOCAL -r REMOTE HOST PORT.
#                    Sends tsize only with --option "tsize enable" (not used here).
#                    netascii: --option "mode netascii" (undocumented but works; prints
#                    "Option mode = netascii"). Same conversions as tftp-hpa.
#                    --trace prints "received OACK <blksize: N, >", used to check the
#                    negotiation (only on the smaller files: it prints a line per packet).
#                    Exit status non-zero on an ERROR. Block numbers wrap 65535 -> 0.
#   busybox tftp     -b N (blksize; 512 sends no option); -g/-p -l LOCAL -r REMOTE HOST PORT.
#                    Sends tsize (0 on RRQ, size on WRQ). Octet only: no netascii at all.
#                    Removes its local file when a fetch fails: never point -l at a device.
#                    Exit status non-zero on an ERROR. Block numbers wrap 65535 -> 0.
#
# netascii: ravendockd and tftpd-hpa both speak it as RFC 764 says for a system whose lines end
# with LF (sending, LF -> CR LF and a bare CR -> CR NUL; receiving, the reverse; 0x1A is data).
# The expected bytes are: fetch = client_receive(server_send(file)),
# upload = server_store(client_send(file)); with tftp-hpa and atftp, which convert too, that is
# the file itself, and the case checks that it came back byte for byte.
set -uo pipefail

SERVER_KIND=${INTEROP_SERVER:-ravendockd}
SERVER_BIN=${1:-}
CLIENTS=${INTEROP_CLIENTS:-tftp-hpa curl atftp busybox}
LEAN=${INTEROP_LEAN:-0}
HOST=127.0.0.1
CLIENT_TIMEOUT=120

SIZES=(0 1 511 512 513 1048576 41943040)
BLKSIZES=(512 1428 8192 65464)

die() {
    echo "interop: $*" >&2
    exit 2
}

case $SERVER_KIND in
ravendockd)
    [[ -n $SERVER_BIN && -x $SERVER_BIN ]] || die "usage: $0 SERVER_BINARY (not executable: '${SERVER_BIN}')"
    SERVER_BIN=$(cd "$(dirname "$SERVER_BIN")" && pwd)/$(basename "$SERVER_BIN")
    CHECK_EXIT=1
    ;;
tftpd-hpa)
    command -v in.tftpd >/dev/null || die "in.tftpd (tftpd-hpa) not installed"
    [[ $(id -u) -eq 0 ]] || die "INTEROP_SERVER=tftpd-hpa needs root (in.tftpd -s chroots)"
    CHECK_EXIT=0
    ;;
*) die "unknown INTEROP_SERVER '$SERVER_KIND' (ravendockd or tftpd-hpa)" ;;
esac

for tool in timeout sha256sum perl; do
    command -v "$tool" >/dev/null || die "$tool not found"
done

T=$(mktemp -d /tmp/raven-interop.XXXXXX)
SERVER_PID=
cleanup() {
    if [[ -n $SERVER_PID ]] && kill -0 "$SERVER_PID" 2>/dev/null; then
        kill -TERM "$SERVER_PID" 2>/dev/null
        for _ in $(seq 1 50); do
            kill -0 "$SERVER_PID" 2>/dev/null || break
            sleep 0.1
        done
        kill -KILL "$SERVER_PID" 2>/dev/null
        wait "$SERVER_PID" 2>/dev/null
    fi
    if [[ ${INTEROP_KEEP:-0} == 1 ]]; then
        echo "interop: kept $T"
    else
        rm -rf "$T"
    fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

SRC=$T/src    # reference copies of every file
WORK=$T/work  # client-side files
mkdir -p "$SRC" "$WORK"
if [[ $SERVER_KIND == ravendockd ]]; then
    OUT=$T/out
    IN=$T/in
else
    OUT=$T/root
    IN=$T/root
fi
mkdir -p "$OUT" "$IN"

now_ms() { echo $(($(date +%s%N) / 1000000)); }
START_MS=$(now_ms)

# ---------------------------------------------------------------- test data (made once)
declare -A SRC_SHA
for size in "${SIZES[@]}"; do
    head -c "$size" /dev/urandom >"$SRC/f$size.bin"
    cp "$SRC/f$size.bin" "$OUT/f$size.bin"
    SRC_SHA[$size]=$(sha256sum <"$SRC/f$size.bin")
done

# A text of several 512-byte blocks with every kind of line ending, a NUL, a CR NUL pair, a
# 0x1A in the middle and text after it.
perl -e '
    for my $i (1 .. 40) {
        print "unix line $i\n";
        print "dos line $i\r\n";
        print "bare\rcr $i\n";
        print "crcr\r\r\n";
        print "nul\0 and cr-nul\r\0 $i\n" if $i % 5 == 0;
    }
    print "\r\n\n\r";
    print "\x1a";
    for my $i (1 .. 20) { print "after the end $i\r\n"; }
    print "last line without newline";
' >"$SRC/text.txt"
cp "$SRC/text.txt" "$OUT/text.txt"

# Byte transforms for netascii expectations (stdin -> stdout).
nva_encode() { perl -0777 -pe 's/\r/\r\0/g; s/\n/\r\n/g'; }               # Unix client send
nva_decode() { perl -0777 -pe 's/\r([\n\0])/$1 eq "\n" ? "\n" : "\r"/ge'; } # Unix client receive
identity() { cat; }

server_send_tf() { nva_encode; }
server_store_tf() { nva_decode; }
client_send_tf() { case $1 in tftp-hpa | atftp) nva_encode ;; *) identity ;; esac; }
client_recv_tf() { case $1 in tftp-hpa | atftp) nva_decode ;; *) identity ;; esac; }

# ---------------------------------------------------------------- server
source "$(dirname "$0")/udp_ports.sh"

write_hive() { # port
    mkdir -p "$T/config"
    cat >"$T/config/ravendockd.reg" <<EOF
REGEDIT4

[HKEY_CURRENT_USER\\Software\\Quenmarsh\\Tollerby]
"OutPath"="$OUT/"
"InPath"="$IN/"
"Port"="$1"
"Timeout"="5"
"bDelete"=dword:0000070e
"nSliders"=dword:00000065
EOF
}

start_server() { # port
    : >"$T/server.log"
    if [[ $SERVER_KIND == ravendockd ]]; then
        write_hive "$1"
        (cd "$T" && XDG_CONFIG_HOME="$T/config" exec "$SERVER_BIN" --headless --listen=$HOST) \
            >"$T/server.log" 2>&1 &
    else
        in.tftpd -L -s -c -p -u "$(id -un)" -a "$HOST:$1" "$T/root" >"$T/server.log" 2>&1 &
    fi
    SERVER_PID=$!
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

PORT=
for attempt in 1 2 3; do
    PORT=${INTEROP_PORT:-$(pick_port)} || die "no free UDP port found"
    start_server "$PORT"
    if wait_ready "$PORT"; then
        break
    fi
    echo "interop: server did not answer on $HOST:$PORT (attempt $attempt); its output:" >&2
    tail -n 20 "$T/server.log" >&2
    kill -TERM "$SERVER_PID" 2>/dev/null
    wait "$SERVER_PID" 2>/dev/null
    SERVER_PID=
    [[ $attempt -lt 3 && -z ${INTEROP_PORT:-} ]] || die "server not ready"
done
echo "interop: $SERVER_KIND on $HOST:$PORT (ready after $(($(now_ms) - START_MS)) ms incl. test data), clients: $CLIENTS"

# ---------------------------------------------------------------- clients
# run_client CLIENT get|put MODE BLKSIZE REMOTE LOCAL [VERIFY_OACK]
# Runs one transfer under `timeout`; output goes to $WORK/client.log. Returns 0 on success as far
# as the client can tell (exit status, and for tftp-hpa its messages, for curl and atftp the
# negotiated block size when asked for).
run_client() {
    local client=$1 dir=$2 mode=$3 bs=$4 remote=$5 local_file=$6 verify=${7:-0}
    local log=$WORK/client.log rc=0
    local -a cmd
    case $client in
    tftp-hpa)
        if [[ $dir == get ]]; then
            cmd=(tftp -m "$mode" "$HOST" "$PORT" -c get "$remote" "$local_file")
        else
            cmd=(tftp -m "$mode" "$HOST" "$PORT" -c put "$local_file" "$remote")
        fi
        ;;
    curl)
        local url="tftp://$HOST:$PORT/$remote"
        [[ $mode == netascii ]] && url+=";mode=netascii"
        local -a opt=(--tftp-blksize "$bs")
        # curl refuses an OACK tsize of 0, which a server answers for an empty file; tftpd-hpa
        # refuses tsize on a netascii read (error 8), which ends curl's transfer.
        if [[ $dir == get && $remote == f0.bin ]] ||
            [[ $dir == get && $mode == netascii && $SERVER_KIND == tftpd-hpa ]]; then
            opt=(--tftp-no-options)
            verify=0
        fi
        if [[ $dir == get ]]; then
            cmd=(curl -sS -v "${opt[@]}" "$url")
        else
            cmd=(curl -sS -v "${opt[@]}" -T "$local_file" "$url")
        fi
        ;;
    atftp)
        local -a opt=(--option "blksize $bs")
        [[ $mode == netascii ]] && opt+=(--option "mode netascii")
        [[ $verify == 1 ]] && opt+=(--trace)
        if [[ $dir == get ]]; then
            cmd=(atftp "${opt[@]}" -g -l "$local_file" -r "$remote" "$HOST" "$PORT")
        else
            cmd=(atftp "${opt[@]}" -p -l "$local_file" -r "$remote" "$HOST" "$PORT")
        fi
        ;;
    busybox)
        [[ $mode == octet ]] || return 3
        if [[ $dir == get ]]; then
            cmd=(busybox tftp -b "$bs" -g -l "$local_file" -r "$remote" "$HOST" "$PORT")
        else
            cmd=(busybox tftp -b "$bs" -p -l "$local_file" -r "$remote" "$HOST" "$PORT")
        fi
        ;;
    *) return 3 ;;
    esac

    if [[ $client == curl && $dir == get ]]; then
        timeout "$CLIENT_TIMEOUT" "${cmd[@]}" >"$local_file" 2>"$log" </dev/null || rc=$?
    else
        timeout "$CLIENT_TIMEOUT" "${cmd[@]}" >"$log" 2>&1 </dev/null || rc=$?
    fi
    if [[ $rc -ne 0 ]]; then
        [[ $rc -eq 124 ]] && WHY="timed out after ${CLIENT_TIMEOUT}s" || WHY="exit status $rc"
        return 1
    fi
    if [[ $client == tftp-hpa ]] && grep -qiE 'error|timed out' "$log"; then
        WHY="client reported: $(grep -iE -m1 'error|timed out' "$log")"
        return 1
    fi
    if [[ $verify == 1 ]]; then
        local got=
        case $client in
        curl) got=$(sed -n 's/.*blksize parsed from OACK (\([0-9]*\)).*/\1/p' "$log" | head -n1) ;;
        atftp) got=$(sed -n 's/.*received OACK <.*blksize: \([0-9]*\).*/\1/p' "$log" | head -n1) ;;
        esac
        if [[ $got != "$bs" ]]; then
            WHY="asked for blksize $bs, OACK gave '${got:-none}'"
            return 1
        fi
    fi
    return 0
}

PASSED=0
FAILED=0
SKIPPED=0
FAIL_LINES=()

report() { # PASS|FAIL|SKIP client dir mode size bs elapsed_ms [why]
    local line
    line=$(printf '%-4s %-8s %-3s %-8s size=%-8s blksize=%-5s %6d ms' "$1" "$2" "$3" "$4" "$5" "$6" "$7")
    [[ -n ${8:-} ]] && line+="  ($8)"
    echo "$line"
    case $1 in
    PASS) PASSED=$((PASSED + 1)) ;;
    FAIL)
        FAILED=$((FAILED + 1))
        FAIL_LINES+=("$line")
        if [[ -s $WORK/client.log ]]; then
            tail -n 5 "$WORK/client.log" | sed 's/^/     | /'
        fi
        ;;
    SKIP) SKIPPED=$((SKIPPED + 1)) ;;
    esac
}

client_blksizes() {
    case $1 in
    tftp-hpa) echo 512 ;;
    *) echo "${BLKSIZES[@]}" ;;
    esac
}

# One octet case. Upload names are unique, checked, then removed to keep the disk use low.
octet_case() { # client dir size bs
    local client=$1 dir=$2 size=$3 bs=$4 t0 ms ok=1 verify=0
    local name=f$size.bin
    local up=up-$client-$size-$bs.bin
    local local_file
    WHY=
    # Check the negotiated block size where the client shows it cheaply.
    case $client in
    curl) verify=1 ;;
    atftp) [[ $size -le 1048576 ]] && verify=1 ;;
    esac
    t0=$(now_ms)
    if [[ $dir == get ]]; then
        local_file=$WORK/got-$client-$size-$bs.bin
        rm -f "$local_file"
        if run_client "$client" get octet "$bs" "$name" "$local_file" "$verify"; then
            if [[ ! -f $local_file ]]; then
                ok=0 WHY="no local file"
            elif [[ $(sha256sum <"$local_file") != "${SRC_SHA[$size]}" ]]; then
                ok=0 WHY="sha256 differs (got $(stat -c %s "$local_file") bytes)"
            fi
        else
            ok=0
        fi
        rm -f "$local_file"
    else
        rm -f "$IN/$up"
        if run_client "$client" put octet "$bs" "$up" "$SRC/$name" "$verify"; then
            if [[ ! -f $IN/$up ]]; then
                ok=0 WHY="no file stored in the upload folder"
            elif [[ $(sha256sum <"$IN/$up") != "${SRC_SHA[$size]}" ]]; then
                ok=0 WHY="sha256 differs (stored $(stat -c %s "$IN/$up") bytes)"
            fi
        else
            ok=0
        fi
        rm -f "$IN/$up"
    fi
    ms=$(($(now_ms) - t0))
    if [[ $ok == 1 ]]; then
        report PASS "$client" "$dir" octet "$size" "$bs" "$ms"
    else
        report FAIL "$client" "$dir" octet "$size" "$bs" "$ms" "$WHY"
    fi
}

# A client that converts (tftp-hpa, atftp) must get back the very file it started from.
round_trip() { # client expect
    case $1 in tftp-hpa | atftp) ;; *) return 0 ;; esac
    cmp -s "$2" "$SRC/text.txt" && return 0
    WHY="netascii does not give the text back byte for byte"
    return 1
}

netascii_case() { # client dir bs
    local client=$1 dir=$2 bs=$3 t0 ms ok=1
    local up=up-$client-text-$bs.txt expect=$WORK/expect.txt local_file
    WHY=
    t0=$(now_ms)
    if [[ $dir == get ]]; then
        local_file=$WORK/got-$client-text-$bs.txt
        rm -f "$local_file"
        server_send_tf <"$SRC/text.txt" | client_recv_tf "$client" >"$expect"
        round_trip "$client" "$expect" || ok=0
        if run_client "$client" get netascii "$bs" text.txt "$local_file" 0; then
            if ! cmp -s "$local_file" "$expect"; then
                ok=0 WHY="bytes differ: got $(stat -c %s "$local_file"), expected $(stat -c %s "$expect"); first difference at $(cmp "$local_file" "$expect" 2>&1 | sed -n "s/.*differ: //p")"
            fi
        else
            ok=0
        fi
        rm -f "$local_file"
    else
        rm -f "$IN/$up"
        client_send_tf "$client" <"$SRC/text.txt" | server_store_tf >"$expect"
        round_trip "$client" "$expect" || ok=0
        if run_client "$client" put netascii "$bs" "$up" "$SRC/text.txt" 0; then
            if [[ ! -f $IN/$up ]]; then
                ok=0 WHY="no file stored in the upload folder"
            elif ! cmp -s "$IN/$up" "$expect"; then
                ok=0 WHY="bytes differ: stored $(stat -c %s "$IN/$up"), expected $(stat -c %s "$expect"); first difference at $(cmp "$IN/$up" "$expect" 2>&1 | sed -n "s/.*differ: //p")"
            fi
        else
            ok=0
        fi
        rm -f "$IN/$up"
    fi
    ms=$(($(now_ms) - t0))
    if [[ $ok == 1 ]]; then
        report PASS "$client" "$dir" netascii "$(stat -c %s "$SRC/text.txt")" "$bs" "$ms"
    else
        report FAIL "$client" "$dir" netascii "$(stat -c %s "$SRC/text.txt")" "$bs" "$ms" "$WHY"
    fi
}

# ---------------------------------------------------------------- matrix
for client in $CLIENTS; do
    case $client in
    tftp-hpa) bin=tftp ;;
    *) bin=$client ;;
    esac
    if ! command -v "$bin" >/dev/null; then
        report FAIL "$client" - - - - 0 "client program '$bin' not installed"
        continue
    fi
    for dir in get put; do
        for size in "${SIZES[@]}"; do
            for bs in $(client_blksizes "$client"); do
                if [[ $LEAN == 1 && $size -gt 1048576 && $bs -ne 512 ]]; then
                    continue
                fi
                if [[ $client == curl && $dir == get && $size -eq 0 && $bs -ne 512 ]]; then
                    report SKIP "$client" "$dir" octet "$size" "$bs" 0 "curl rejects an OACK tsize of 0"
                    continue
                fi
                octet_case "$client" "$dir" "$size" "$bs"
            done
        done
    done
    case $client in
    busybox) report SKIP "$client" get/put netascii - - 0 "busybox tftp is octet only" ;;
    tftp-hpa) for dir in get put; do netascii_case "$client" "$dir" 512; done ;;
    *)
        for dir in get put; do
            for bs in 512 1428; do
                if [[ $client == curl && $dir == get && $bs -ne 512 && $SERVER_KIND == tftpd-hpa ]]; then
                    report SKIP "$client" "$dir" netascii - "$bs" 0 "tftpd-hpa refuses curl's tsize in netascii"
                    continue
                fi
                netascii_case "$client" "$dir" "$bs"
            done
        done
        ;;
    esac
done

rm -f "$WORK/client.log" # the checks below are about the server, not the last client

# Uploads must land in the upload folder only: the read folder holds just the test data.
if [[ $SERVER_KIND == ravendockd ]]; then
    stray=$(find "$OUT" -mindepth 1 ! -name 'f[0-9]*.bin' ! -name text.txt -printf '%f ')
    if [[ -n $stray ]]; then
        report FAIL server folders - - - 0 "unexpected files in the read folder: $stray"
    else
        report PASS server folders - - - 0 "read folder untouched"
    fi
fi

# ---------------------------------------------------------------- stop the server
if ! kill -0 "$SERVER_PID" 2>/dev/null; then
    report FAIL server stop - - - 0 "server died during the run"
    tail -n 20 "$T/server.log" | sed 's/^/     | /'
    wait "$SERVER_PID" 2>/dev/null
    SERVER_PID=
else
    t0=$(now_ms)
    kill -TERM "$SERVER_PID"
    for _ in $(seq 1 100); do
        kill -0 "$SERVER_PID" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$SERVER_PID" 2>/dev/null; then
        kill -KILL "$SERVER_PID" 2>/dev/null
        wait "$SERVER_PID" 2>/dev/null
        report FAIL server stop - - - "$(($(now_ms) - t0))" "still running 10 s after SIGTERM"
    else
        wait "$SERVER_PID"
        rc=$?
        if [[ $CHECK_EXIT == 1 && $rc -ne 0 ]]; then
            report FAIL server stop - - - "$(($(now_ms) - t0))" "exit status $rc after SIGTERM"
            tail -n 20 "$T/server.log" | sed 's/^/     | /'
        else
            report PASS server stop - - - "$(($(now_ms) - t0))" "exit status $rc"
        fi
    fi
    SERVER_PID=
fi

# Every row of the client list reaches the log, oldest first, the start-up row leading.
if [[ $SERVER_KIND == ravendockd ]]; then
    added=$(grep -c $'\tadded\t' "$T/server.log" || true)
    logged=$(wc -l <"$T/Ravendock.log" 2>/dev/null || echo 0)
    if [[ $logged -ne $added || $added -lt 2 ]]; then
        report FAIL server log - - - 0 "$logged log lines for $added rows"
    elif ! head -n 1 "$T/Ravendock.log" | grep -q $'^Ravendock V3.60  .*  Ready\r$'; then
        report FAIL server log - - - 0 "first line: $(head -n 1 "$T/Ravendock.log" | cat -A)"
    else
        report PASS server log - - - 0 "$logged rows logged"
    fi
fi

echo "interop: $SERVER_KIND: $((PASSED + FAILED)) cases checked in $((($(now_ms) - START_MS) / 1000)) s: PASS $PASSED, FAIL $FAILED, SKIP $SKIPPED"
if [[ $FAILED -ne 0 ]]; then
    echo "interop: failures:"
    printf '  %s\n' "${FAIL_LINES[@]}"
    exit 1
fi
exit 0
