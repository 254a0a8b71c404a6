#!/usr/bin/env bash
# The staged install tree a packager gets from `cmake --install`: every file in its place, each
# accepted by its own checker, the programs answering --help, --version and a bad option, and the
# service's shipped settings serving a file from a sub-folder while refusing uploads.
# Usage: check_install_tree.sh BUILD_DIR INSTALL_PREFIX
set -euo pipefail
BUILD=$(realpath "$1")
PREFIX=$2
T=$(mktemp -d)
trap '[[ -n ${PID:-} ]] && kill -KILL "$PID" 2>/dev/null; rm -rf "$T"' EXIT
fail() {
    echo "FAIL: $*"
    exit 1
}

DESTDIR="$T/stage" cmake --install "$BUILD" >/dev/null
ROOT=$T/stage$PREFIX
for f in bin/ravendockd bin/merrowinc share/man/man1/ravendockd.1 share/man/man1/merrowinc.1 \
    share/bash-completion/completions/ravendockd share/bash-completion/completions/merrowinc \
    share/applications/ravendockd.desktop share/metainfo/com.quenmarsh.ravendockd.metainfo.xml \
    share/metainfo/com.quenmarsh.merrowinc.metainfo.xml share/ravendockd/ravendockd.reg \
    lib/systemd/system/ravendockd.service lib/sysusers.d/ravendockd.conf \
    lib/tmpfiles.d/ravendockd.conf; do
    [[ -f $ROOT/$f ]] || fail "not installed: $f"
done

desktop-file-validate "$ROOT"/share/applications/*.desktop || fail "desktop entry"
appstreamcli validate --no-net "$ROOT"/share/metainfo/*.xml >"$T/appstream" 2>&1 ||
    fail "metainfo: $(cat "$T/appstream")"
for page in "$ROOT"/share/man/man1/*.1; do
    LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" >"$T/page" 2>"$T/warnings" ||
        fail "man -l $page"
    [[ ! -s $T/warnings ]] || fail "man page $page: $(cat "$T/warnings")"
    grep -q -- "--help" "$T/page" || fail "man page $page lacks --help"
done
for script in "$ROOT"/share/bash-completion/completions/*; do
    bash -n "$script" || fail "completion $script"
done
# The unit as installed names the final paths; pointed into the stage it must verify there.
sed "s|$PREFIX/|$ROOT/|g" "$ROOT/lib/systemd/system/ravendockd.service" >"$T/ravendockd.service"
systemd-analyze verify --man=no "$T/ravendockd.service" || fail "systemd-analyze verify"

for program in ravendockd merrowinc; do
    "$ROOT/bin/$program" --help >"$T/help" || fail "$program --help exit status"
    grep -q "Usage: $program" "$T/help" || fail "$program --help text"
    [[ $("$ROOT/bin/$program" --version) == "$program "* ]] || fail "$program --version"
    status=0
    "$ROOT/bin/$program" --no-such-option >/dev/null 2>"$T/usage" || status=$?
    [[ $status -eq 2 ]] && grep -q "Usage: $program" "$T/usage" ||
        fail "$program with an unknown option: status $status"
done

# The service's settings with the folders moved into the test's own and a port of its own.
mkdir -p "$T/srv/pxelinux.cfg" "$T/srv/incoming" "$T/state"
printf 'default menu\n' >"$T/srv/pxelinux.cfg/default"
sed -e "s|/srv/tftp/|$T/srv/|" -e "s|/var/log/ravendockd/|$T/state/|" \
    "$ROOT/share/ravendockd/ravendockd.reg" >"$T/state/ravendockd.reg"
PORT=$((20000 + RANDOM % 40000))
(cd "$T/state" && exec "$ROOT/bin/ravendockd" --headless --listen=127.0.0.1 --port="$PORT" \
    --config="$T/state/ravendockd.reg") >"$T/stdout" 2>"$T/stderr" &
PID=$!
for _ in $(seq 1 50); do
    grep -q "listening on" "$T/stderr" && break
    sleep 0.1
done
timeout 20 busybox tftp -g -l "$T/got" -r pxelinux.cfg/default 127.0.0.1 "$PORT" ||
    fail "sub-folder file not served: $(cat "$T/stderr")"
cmp -s "$T/got" "$T/srv/pxelinux.cfg/default" || fail "fetched file differs"
printf 'x' >"$T/up"
if timeout 20 busybox tftp -p -l "$T/up" -r up 127.0.0.1 "$PORT" 2>/dev/null; then
    fail "upload accepted by the shipped settings"
fi
for _ in $(seq 1 100); do
    grep -q "	done	" "$T/stdout" && break
    sleep 0.1
done
kill -TERM "$PID"
wait "$PID" || fail "server exit status $?"
PID=
grep -q "	done	127.0.0.1:[0-9]*	$T/srv/pxelinux.cfg/default	13	[0-9]*	Finished : Sending$" \
    "$T/stdout" || fail "no transfer line: $(cat "$T/stdout")"
[[ ! -e $T/srv/incoming/up ]] || fail "upload stored"
grep -q '"Port"="69"' "$T/state/ravendockd.reg" || fail "--port was stored"
echo "PASS: install tree, checkers, options and the service's settings"
