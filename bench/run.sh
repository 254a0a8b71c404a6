#!/usr/bin/env bash
# Benchmarks ravendockd and merrowinc against the usual Linux TFTP peers, all on 127.0.0.1:
# installs what is needed (scripts/setup-debian.sh), builds the Release preset, then runs
# bench/bench.py, which writes bench/results/<date>-<host>.md and .json.
#
# Usage: bench/run.sh [--quick] [--runs N] [other bench.py options, see bench/bench.py --help]
#   --quick   smoke test: one run per case, 4 MiB and 256 KiB files (a few minutes)
# Environment:
#   RAVEN_JOBS         parallel build jobs (default 2)
#   BENCH_SKIP_SETUP=1 do not run scripts/setup-debian.sh
#   BENCH_SKIP_BUILD=1 use the binaries already in build/release
# Exit status: 0 when every transfer completed with the right sha256, 1 on any failure.
# Must run as root (or with sudo available): tftpd-hpa chroots, dnsmasq listens on port 69.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT"

if [[ ${EUID:-$(id -u)} -ne 0 ]]; then
    if command -v sudo >/dev/null 2>&1; then
        exec sudo -E "$0" "$@"
    fi
    echo "bench/run.sh: must run as root" >&2
    exit 2
fi

if [[ ${BENCH_SKIP_SETUP:-0} != 1 ]]; then
    bash scripts/setup-debian.sh
fi

BUILD=build/release
JOBS=${RAVEN_JOBS:-2}
CLIENT_ARGS=()
if [[ ${BENCH_SKIP_BUILD:-0} != 1 ]]; then
    cmake --preset release >/dev/null
    cmake --build --preset release -j "$JOBS" --target ravendockd
    # The floor column is a reference only: without it the peers are still compared.
    if ! cmake --build --preset release -j "$JOBS" --target floor-server >"$BUILD/bench-floor-build.log" 2>&1; then
        echo "bench/run.sh: floor-server does not build (see $BUILD/bench-floor-build.log); no floor column" >&2
    fi
    # The client is optional: when it is missing or does not build, its column is reported as
    # skipped (an older binary is not used: it would not be the code of this tree).
    if [[ ! -f client/main.cpp ]]; then
        CLIENT_ARGS=(--client-skip "client/main.cpp does not exist yet (no merrowinc target)")
    elif ! cmake --build --preset release -j "$JOBS" --target merrowinc >"$BUILD/bench-client-build.log" 2>&1; then
        first=$(grep -m1 -E '^FAILED:' "$BUILD/bench-client-build.log" || true)
        first+=" $(grep -m1 -E 'error:' "$BUILD/bench-client-build.log" | sed 's/^.*error: /error: /' || true)"
        echo "bench/run.sh: merrowinc does not build (see $BUILD/bench-client-build.log): $first" >&2
        CLIENT_ARGS=(--client-skip "merrowinc does not build in this tree: ${first:0:200}")
    fi
fi
[[ -x $BUILD/server/ravendockd ]] || {
    echo "bench/run.sh: $BUILD/server/ravendockd missing" >&2
    exit 2
}
if [[ ${#CLIENT_ARGS[@]} -eq 0 ]]; then
    if [[ -x $BUILD/client/merrowinc ]]; then
        CLIENT_ARGS=(--client-bin "$BUILD/client/merrowinc")
    else
        CLIENT_ARGS=(--client-skip "no binary $BUILD/client/merrowinc")
    fi
fi

rev=$(git rev-parse --short HEAD 2>/dev/null || echo unknown)
if [[ -n $(git status --porcelain --untracked-files=no 2>/dev/null) ]] ||
    [[ -n $(git ls-files --others --exclude-standard -- client server protocol platform 2>/dev/null) ]]; then
    rev+="+local changes"
fi

FLOOR_ARGS=()
[[ -x $BUILD/bench/floor-server ]] && FLOOR_ARGS=(--floor-bin "$BUILD/bench/floor-server")

exec python3 "$ROOT/bench/bench.py" --server-bin "$BUILD/server/ravendockd" "${CLIENT_ARGS[@]}" \
    "${FLOOR_ARGS[@]}" --git-rev "$rev" "$@"
