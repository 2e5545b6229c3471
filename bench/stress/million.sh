#!/usr/bin/env bash
# A million files: pelidor-scan (modes full, partial, name) against jdupes and find on
# a generated tree of 1,000,000 small files with realistic duplicates.
#
#   bench/stress/million.sh [--size-gb G] [--runs N] [--scan PATH] [compare.sh options]
#
# A thin layer over bench/compare.sh: the same tree generator (the tree is kept in
# bench/trees/ and reused), the same warm-cache timing with hyperfine, peak memory from
# /usr/bin/time -v and the correctness check against the generator's manifest and
# jdupes. Only the defaults differ: 1,000,000 files in 3 GiB, jdupes as the only peer
# (fdupes, rdfind and rmlint take many minutes per run at this size), no warm-up run
# (compare.sh reads every file once before timing anyway), 3 timed runs, 30 minutes
# per run at most. Later options override these. See bench/README.md.
set -euo pipefail

BENCH_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

case ${1:-} in
  -h|--help)
    sed -n '2,13p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'
    echo
    echo "compare.sh options:"
    "$BENCH_DIR/compare.sh" --help | sed -n '/^Options:/,$p' | tail -n +2
    exit 0 ;;
esac

status=0
"$BENCH_DIR/compare.sh" --files 1000000 --size-gb 3 --peers jdupes --warmup 0 --runs 3 \
  --timeout 1800 --check "$@" || status=$?
cp "$BENCH_DIR/results/latest.md" "$BENCH_DIR/results/million-latest.md" 2>/dev/null || true
exit $status
