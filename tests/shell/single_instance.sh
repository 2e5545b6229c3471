#!/usr/bin/env bash
# The single-instance rule with real processes of the program under a virtual X
# server: a second start while the first runs (minimised) ends at once with status 0
# and brings the first window back; after the first instance was killed (leaving its
# lock file and socket behind) the next start runs as the first instance again; a start
# while the first instance is ending (its window closed by SIGTERM, its lock still held)
# waits for that end and then opens its window. Run as root, the program offers no news
# and support windows.
#
#   single_instance.sh PATH/TO/pelidor
#
# Status 77 (skipped) when xvfb-run is not installed (scripts/bootstrap installs it).
set -uo pipefail

pelidor=${1:?usage: single_instance.sh PATH/TO/pelidor}

if [ "${2:-}" != "--inner" ]; then
    if ! command -v xvfb-run >/dev/null 2>&1; then
        echo "SKIP: xvfb-run is not installed (the xvfb package; scripts/bootstrap installs it)"
        exit 77
    fi
    work=$(mktemp -d "${TMPDIR:-/tmp}/pelidor-instance-test-XXXXXX")
    trap 'rm -rf "$work"' EXIT
    mkdir -m 700 "$work/runtime" "$work/home" "$work/config" "$work/data"
    export XDG_RUNTIME_DIR="$work/runtime" HOME="$work/home"
    export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"
    unset QT_QPA_PLATFORM
    xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$pelidor" --inner "$work"
    exit $?
fi

work=$3
failures=0
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill -9 "$p" 2>/dev/null; done
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# wait_for FILE PATTERN SECONDS: true once a line of FILE matches PATTERN.
wait_for() {
    local end=$((SECONDS + $3))
    while [ $SECONDS -lt "$end" ]; do
        grep -q -- "$2" "$1" 2>/dev/null && return 0
        sleep 0.1
    done
    return 1
}

# second_start NAME: starts the program again; it must end with status 0 within
# five seconds and never show a window of its own.
second_start() {
    local started=$(date +%s%N)
    PELIDOR_TEST_HOOKS=1 timeout 20 "$pelidor" >"$work/$1.out" 2>&1
    local rc=$?
    local ms=$((($(date +%s%N) - started) / 1000000))
    echo "$1 start: status $rc after $ms ms"
    [ $rc -eq 0 ] || fail "$1 start ended with status $rc"
    [ $ms -lt 5000 ] || fail "$1 start took $ms ms"
    if grep -q "pelidor: ready" "$work/$1.out"; then fail "$1 start opened a window"; fi
}

# 1. The first instance starts minimised; a second start restores it.
PELIDOR_TEST_HOOKS=minimized "$pelidor" >"$work/first.out" 2>"$work/first.err" &
first=$!
pids+=("$first")
wait_for "$work/first.out" "pelidor: ready" 30 || { fail "first instance did not start"; cat "$work/first.err"; }
grep -q "pelidor: ready minimized=1" "$work/first.out" || fail "first instance did not start minimised"
# The browser engine refuses its sandbox for root: no news and support windows then.
if [ "$(id -u)" = 0 ]; then web=0; else web=1; fi
grep -q "web-pages=$web" "$work/first.out" || fail "news and support windows: expected web-pages=$web"

second_start second
wait_for "$work/first.out" "pelidor: restored" 10 || fail "first instance was not asked to restore"
grep "pelidor: restored" "$work/first.out"
grep -q "pelidor: restored minimized=0 visible=1 active=1" "$work/first.out" ||
    fail "first window not restored and active"
kill -0 "$first" 2>/dev/null || fail "first instance ended"

# The lock and the socket live in the private runtime folder, for this user only.
socket="$XDG_RUNTIME_DIR/QdxMutex2012-$(id -u)"
[ -S "$socket" ] || fail "no socket at $socket"
[ -f "$socket.lock" ] || fail "no lock file at $socket.lock"
[ "$(stat -c %a "$socket")" = 700 ] || fail "socket mode $(stat -c %a "$socket")"

# 2. A killed instance leaves its lock and socket behind; the next start takes over.
kill -9 "$first"
wait "$first" 2>/dev/null
[ -S "$socket" ] || fail "the killed instance left no socket (test premise)"
PELIDOR_TEST_HOOKS=1 "$pelidor" >"$work/third.out" 2>"$work/third.err" &
third=$!
pids+=("$third")
wait_for "$work/third.out" "pelidor: ready" 30 || { fail "start after a killed instance did not run"; cat "$work/third.err"; }
second_start fourth
wait_for "$work/third.out" "pelidor: restored" 10 || fail "the new instance was not asked to restore"
kill "$third" 2>/dev/null
wait "$third" 2>/dev/null

# 3. A start while the first instance is ending: SIGTERM closes the first window (the
#    program ends as when the user closes it), and the instance then keeps its lock
#    until it is told to go on; the next start waits for it and then opens its window.
PELIDOR_TEST_HOOKS=1 PELIDOR_TEST_LINGER="$work/release" "$pelidor" >"$work/fifth.out" 2>"$work/fifth.err" &
fifth=$!
pids+=("$fifth")
wait_for "$work/fifth.out" "pelidor: ready" 30 || { fail "fifth instance did not start"; cat "$work/fifth.err"; }
kill -TERM "$fifth"
wait_for "$work/fifth.out" "pelidor: ending" 30 || fail "SIGTERM did not close the window"
PELIDOR_TEST_HOOKS=1 "$pelidor" >"$work/sixth.out" 2>"$work/sixth.err" &
sixth=$!
pids+=("$sixth")
wait_for "$work/sixth.out" "pelidor: waiting" 30 || fail "a start during the end did not wait"
kill -0 "$fifth" 2>/dev/null || fail "the ending instance was gone too early (test premise)"
grep -q "pelidor: ready" "$work/sixth.out" && fail "a start opened a window while the first still ran"
touch "$work/release"
wait "$fifth" 2>/dev/null
wait_for "$work/sixth.out" "pelidor: ready" 30 ||
    { fail "the waiting start did not open its window"; cat "$work/sixth.err"; }
kill -TERM "$sixth" 2>/dev/null
wait "$sixth" 2>/dev/null

if [ $failures -ne 0 ]; then
    echo "first instance stderr:"; cat "$work/first.err"
    exit 1
fi
echo "single instance: all checks passed"
