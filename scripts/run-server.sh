#!/usr/bin/env bash
# Builds the server (preset "default") and runs it in the foreground on a ready-made setup:
#   reads are served from the repository's serve/ folder, uploads go to a temporary folder,
#   listening on 127.0.0.1, port 69 when run as root, else 6969.
# Environment overrides:
#   RAVEN_PORT     listening port
#   RAVEN_LISTEN   listening IPv4 address (default 127.0.0.1)
#   RAVEN_UPLOADS  folder for uploads (default: a new temporary folder, kept after exit)
# The settings are written to a registry hive in a dedicated XDG_CONFIG_HOME under
# build/run-server/, rewritten at every start; stop the server with Ctrl-C.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT"

bash scripts/setup-debian.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "${RAVEN_JOBS:-2}" --target ravendockd

if [[ $(id -u) -eq 0 ]]; then
    default_port=69
else
    default_port=6969
fi
PORT=${RAVEN_PORT:-$default_port}
LISTEN=${RAVEN_LISTEN:-127.0.0.1}

SERVE=$ROOT/serve
mkdir -p "$SERVE"
if [[ ! -e $SERVE/README.txt ]]; then
    echo "Hello from ravendockd: this folder is served to TFTP clients by scripts/run-server.sh." \
        >"$SERVE/README.txt"
fi
UPLOADS=${RAVEN_UPLOADS:-$(mktemp -d /tmp/ravendockd-uploads.XXXXXX)}
mkdir -p "$UPLOADS"
UPLOADS=$(cd "$UPLOADS" && pwd)

RUNDIR=$ROOT/build/run-server
CONFIG=$RUNDIR/config
mkdir -p "$CONFIG"
# Paths end with '/'. bDelete 0x70e: tsize and timeout options allowed, sub-folders of requested
# names dropped; nSliders 0x65: no client limit.
cat >"$CONFIG/ravendockd.reg" <<HIVE
REGEDIT4

[HKEY_CURRENT_USER\\Software\\Quenmarsh\\Tollerby]
"OutPath"="$SERVE/"
"InPath"="$UPLOADS/"
"Port"="$PORT"
"Timeout"="5"
"bDelete"=dword:0000070e
"nSliders"=dword:00000065
HIVE

echo "ravendockd on $LISTEN:$PORT: reads from $SERVE/, uploads to $UPLOADS/"
echo "try: tftp -m octet $LISTEN $PORT -c get README.txt /tmp/README.txt"
cd "$RUNDIR"
XDG_CONFIG_HOME=$CONFIG exec "$ROOT/build/default/server/ravendockd" --headless --listen="$LISTEN"
