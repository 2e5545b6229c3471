#!/usr/bin/env bash
# Cold-disk and fingerprint-cache timings of pelidor-scan beside its peers, in one run.
#
#   bench/cold.sh [--scan PATH] [--base PATH] [--runs N] TREE
#
# Needs root: the page cache is dropped (echo 3 > /proc/sys/vm/drop_caches) before
# every cold run of every tool. --base times another pelidor-scan (say, a build of the
# previous version) beside this one. Each figure is the median of --runs runs
# (default 1): wall seconds and peak memory (MiB) from /usr/bin/time.
set -euo pipefail

BENCH_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
SCAN=${PELIDOR_SCAN:-$(dirname "$BENCH_DIR")/build/cli/pelidor-scan}
BASE=
RUNS=1
while [ $# -gt 0 ]; do
  case $1 in
    --scan) SCAN=$2; shift 2 ;;
    --base) BASE=$2; shift 2 ;;
    --runs) RUNS=$2; shift 2 ;;
    -h|--help) sed -n '2,9p' "$0"; exit 0 ;;
    *) break ;;
  esac
done
[ $# -eq 1 ] || { echo "usage: bench/cold.sh [--scan PATH] [--base PATH] [--runs N] TREE" >&2; exit 2; }
TREE=$(realpath "$1")
SCAN=$(realpath "$SCAN")
[ -n "$BASE" ] && BASE=$(realpath "$BASE")
[ "$(id -u)" -eq 0 ] || { echo "bench/cold.sh: needs root to drop the page cache" >&2; exit 2; }
[ -x "$SCAN" ] || { echo "bench/cold.sh: no pelidor-scan at $SCAN" >&2; exit 2; }

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
CACHE=$WORK/cache/fingerprints.sqlite

drop() { sync; echo 3 > /proc/sys/vm/drop_caches; }
warm() { find "$TREE" -type f -print0 | xargs -0 cat > /dev/null; }

# run LABEL cold|warm|asis COMMAND...: prints "LABEL STATE seconds MiB" (medians).
run() {
  local label=$1 state=$2
  shift 2
  local times=() mems=()
  for _ in $(seq "$RUNS"); do
    case $state in
      cold) drop ;;
      warm) ;;
    esac
    (cd "$WORK" && /usr/bin/time -f "%e %M" -o "$WORK/time" "$@" > /dev/null 2> /dev/null < /dev/null) || true
    read -r t m < <(tail -n 1 "$WORK/time")
    times+=("$t")
    mems+=("$m")
  done
  local t m
  t=$(printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}')
  m=$(printf '%s\n' "${mems[@]}" | sort -n | awk '{a[NR]=$1} END {printf "%.0f", a[int((NR+1)/2)]/1024}')
  printf '%-44s %-5s %8.2f s %7s MiB\n' "$label" "$state" "$t" "$m"
}

files=$(find "$TREE" -type f | wc -l)
echo "# $(date -u '+%F %T') UTC, $files files, $(du -sh "$TREE" | cut -f1), $(nproc) cores"
echo "## cold, no cache"
run "pelidor-scan --mode full --no-cache" cold "$SCAN" -q --mode full --no-cache "$TREE"
run "pelidor-scan --mode partial --no-cache" cold "$SCAN" -q --mode partial --no-cache "$TREE"
run "pelidor-scan --mode name --no-cache" cold "$SCAN" -q --mode name --no-cache "$TREE"
[ -n "$BASE" ] && run "base pelidor-scan --mode full" cold "$BASE" -q --mode full "$TREE"
[ -n "$BASE" ] && run "base pelidor-scan --mode partial" cold "$BASE" -q --mode partial "$TREE"
command -v jdupes > /dev/null && run "jdupes -r -q" cold jdupes -r -q "$TREE"
command -v rdfind > /dev/null && run "rdfind -dryrun true" cold rdfind -dryrun true -makeresultsfile false -checksum md5 "$TREE"
command -v fdupes > /dev/null && run "fdupes -r -q -n" cold fdupes -r -q -n "$TREE"
run "find -type f (walk floor)" cold find "$TREE" -type f

echo "## cache"
RUNS_SAVED=$RUNS
RUNS=1
rm -rf "$WORK/cache"
run "full, first scan (fills the cache)" cold "$SCAN" -q --mode full --cache "$CACHE" "$TREE"
RUNS=$RUNS_SAVED
run "full, second scan" cold "$SCAN" -q --mode full --cache "$CACHE" "$TREE"
run "name, same cache state" cold "$SCAN" -q --mode name --cache "$CACHE" "$TREE"
warm
run "full, second scan" warm "$SCAN" -q --mode full --cache "$CACHE" "$TREE"
run "name, same cache state" warm "$SCAN" -q --mode name --cache "$CACHE" "$TREE"
RUNS=1
run "partial, first scan after full" cold "$SCAN" -q --mode partial --cache "$CACHE" "$TREE"
RUNS=$RUNS_SAVED
run "partial, second scan" cold "$SCAN" -q --mode partial --cache "$CACHE" "$TREE"
rows=$(python3 -c "import sqlite3,sys; print(sqlite3.connect(sys.argv[1]).execute('select count(*) from fingerprints').fetchone()[0])" "$CACHE")
bytes=$(stat -c %s "$CACHE")
echo "cache: $rows rows, $bytes bytes, $((bytes / (rows > 0 ? rows : 1))) bytes a row, $((bytes * 1000000 / (rows > 0 ? rows : 1) / 1048576)) MiB per million files"

echo "## warm first scans (empty cache)"
warm
for mode in full partial; do
  run "$mode, --no-cache" warm "$SCAN" -q --mode "$mode" --no-cache "$TREE"
  rm -rf "$WORK/cache"
  RUNS_SAVED=$RUNS; RUNS=1
  run "$mode, empty cache" warm "$SCAN" -q --mode "$mode" --cache "$CACHE" "$TREE"
  RUNS=$RUNS_SAVED
  [ -n "$BASE" ] && run "base $mode" warm "$BASE" -q --mode "$mode" "$TREE"
done
