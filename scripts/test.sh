#!/usr/bin/env bash
# Sets up the machine and runs the whole suite from a fresh clone:
#   1. scripts/setup-debian.sh (packages; apt is skipped when all are there)
#   2. clang-format --dry-run --Werror over the C++ files git tracks
#   3. preset "default": configure, build, ctest (unit tests and the interop test)
#   4. preset "asan": configure, build, ctest without the interop tests (window tests included)
#   5. preset "tsan": configure, build and run the unit tests that use threads
#   6. preset "fuzz" (when fuzz/ has targets): configure, build, run each target for 60 s
# Ends with the line "N passed, N failed" over the ctest runs; a format, build or fuzz step that
# fails counts as one more failure there. Exits non-zero on any failure.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT"

JOBS=${RAVEN_JOBS:-2}
FUZZ_SECONDS=${RAVEN_FUZZ_SECONDS:-60}
LOGDIR=$ROOT/build/test-logs

PASSED=0
FAILED=0
STEP_FAILURES=()

summary() {
    local rc=$?
    # A step that stopped the script (set -e) is a failure even if no ctest run counted it.
    if [[ $rc -ne 0 && ${#STEP_FAILURES[@]} -eq 0 && $FAILED -eq 0 ]]; then
        STEP_FAILURES+=("${CURRENT_STEP:-unknown step} (exit status $rc)")
        FAILED=$((FAILED + 1))
    fi
    echo
    echo "== summary"
    if [[ ${#STEP_FAILURES[@]} -gt 0 ]]; then
        printf 'failed: %s\n' "${STEP_FAILURES[@]}"
    fi
    echo "$PASSED passed, $FAILED failed"
    if [[ $rc -eq 0 && $FAILED -ne 0 ]]; then
        exit 1
    fi
}
trap summary EXIT

step() {
    CURRENT_STEP=$1
    echo
    echo "== $1"
}

# Runs a command that is a step of its own; on failure records it and stops the run.
must() {
    local name=$1
    shift
    if ! "$@"; then
        STEP_FAILURES+=("$name")
        FAILED=$((FAILED + 1))
        exit 1
    fi
}

# Runs ctest with the given arguments, adds its counts to the totals. Does not stop the run.
run_ctest() {
    local name=$1
    shift
    local log=$LOGDIR/ctest-$name.log rc=0
    ctest "$@" --no-tests=error -j "$JOBS" 2>&1 | tee "$log" || rc=$?
    local line total=0 failed=0
    line=$(grep -E '[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n1 || true)
    if [[ -n $line ]]; then
        failed=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
        total=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\2/' <<<"$line")
        PASSED=$((PASSED + total - failed))
        FAILED=$((FAILED + failed))
        if [[ $failed -ne 0 ]]; then
            STEP_FAILURES+=("ctest $name: $failed of $total")
        fi
    fi
    if [[ $rc -ne 0 && ( -z $line || $failed -eq 0 ) ]]; then
        # ctest failed without a count (no tests found, a bad preset, ...).
        STEP_FAILURES+=("ctest $name (exit status $rc)")
        FAILED=$((FAILED + 1))
    fi
}

step "setup"
must "setup-debian.sh" bash "$ROOT/scripts/setup-debian.sh"
mkdir -p "$LOGDIR"

step "format: clang-format --dry-run --Werror"
# Files git does not track yet are left out, so a scratch file cannot fail the run.
if ! git ls-files -z -- '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror; then
    STEP_FAILURES+=("format")
    FAILED=$((FAILED + 1))
fi

step "default: configure and build"
must "configure default" cmake --preset default
must "build default" cmake --build --preset default -j "$JOBS"

step "default: tests"
run_ctest default --preset default

step "asan: configure and build"
must "configure asan" cmake --preset asan
must "build asan" cmake --build --preset asan -j "$JOBS"

step "asan: unit and window tests"
# The window tests too: the desktop libraries' own lifetime allocations are suppressed in
# tests/support/desktop_lsan.supp.
run_ctest asan --preset asan -LE interop

# Only the test binaries whose code runs threads (name lookup, transfer threads, music, posts to
# the event loop) are built and run.
step "tsan: configure and build"
must "configure tsan" cmake --preset tsan
must "build tsan" cmake --build --preset tsan -j "$JOBS"

step "tsan: unit tests that use threads"
run_ctest tsan --preset tsan

# Fuzzing: only when fuzz/ declares targets.
if [[ -f $ROOT/fuzz/CMakeLists.txt ]] && compgen -G "$ROOT/fuzz/*.cpp" >/dev/null; then
    step "fuzz: configure and build"
    must "configure fuzz" cmake --preset fuzz
    must "build fuzz" cmake --build --preset fuzz -j "$JOBS"

    step "fuzz: run each target for ${FUZZ_SECONDS} s"
    found=0
    for bin in "$ROOT"/build/fuzz/fuzz/*; do
        [[ -f $bin && -x $bin ]] || continue
        found=1
        name=$(basename "$bin")
        corpus=$ROOT/build/fuzz/corpus/$name
        mkdir -p "$corpus"
        # Seeds (read only; new inputs go to the first folder, under build/): fuzz/seeds/NAME/ or
        # fuzz/corpus/NAME/ when present, else the files directly in fuzz/seeds/.
        seeds=()
        for d in "$ROOT/fuzz/seeds/$name" "$ROOT/fuzz/corpus/$name"; do
            [[ -d $d ]] && seeds+=("$d")
        done
        if [[ ${#seeds[@]} -eq 0 && -d $ROOT/fuzz/seeds ]] &&
            find "$ROOT/fuzz/seeds" -maxdepth 1 -type f | grep -q .; then
            seeds=("$ROOT/fuzz/seeds")
        fi
        log=$LOGDIR/fuzz-$name.log
        echo "-- $name"
        if (cd "$ROOT/build/fuzz" && "$bin" -max_total_time="$FUZZ_SECONDS" -timeout=30 \
            -rss_limit_mb=4096 -print_final_stats=1 "$corpus" "${seeds[@]}") >"$log" 2>&1; then
            grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb|Done [0-9]+ runs)' "$log" || true
        else
            echo "fuzz target $name failed; last lines of $log:"
            tail -n 40 "$log"
            STEP_FAILURES+=("fuzz $name")
            FAILED=$((FAILED + 1))
        fi
    done
    if [[ $found -eq 0 ]]; then
        echo "no fuzz binaries found in build/fuzz/fuzz/"
        STEP_FAILURES+=("fuzz: no binaries built")
        FAILED=$((FAILED + 1))
    fi
else
    step "fuzz: no targets in fuzz/, skipped"
fi

CURRENT_STEP="finished"
