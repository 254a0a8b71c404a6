#!/usr/bin/env bash
# Pictures of the server's window with live transfers, its tray menu and each dialog, on a
# virtual display with a window manager (openbox) and a notification area (trayer), written to
# build/screenshots/ (or the folder given).
set -euo pipefail
cd "$(dirname "$0")/.."
OUT=$(realpath -m "${1:-build/screenshots}")
cmake --preset default >/dev/null
cmake --build build/default --target server_qt_screenshots
mkdir -p "$OUT"
xvfb-run -a -s "-screen 0 1024x640x24" bash -c '
    openbox >/dev/null 2>&1 &
    trayer --edge bottom --align right --widthtype pixel --width 64 >/dev/null 2>&1 &
    sleep 1
    build/default/tests/server_qt_screenshots "$1"
    status=$?
    kill %1 %2 2>/dev/null
    exit $status
' screenshots "$OUT"
ls "$OUT"
