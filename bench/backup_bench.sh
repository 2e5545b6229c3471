#!/usr/bin/env bash
# Times the backup writer against `zip -6 -r` on the same generated tree of mixed
# files (about half text, half random bytes), with a warm page cache.
#
#   bench/backup_bench.sh [--size-gb 1.0] [--build DIR] [--work DIR] [--runs 3]
#
# The writer runs as build/bench/backup_bench (built here), which writes one archive of
# every file of the tree as a deletion with backup would, including forcing the
# archive to the disk before naming it. Target: its median wall time at most 1.5 times
# zip's. Results go to stdout and to WORK/backup_bench-YYYYmmdd-HHMMSS.json.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
size=1.0
build="$root/build"
work=/tmp/pelidor-backup-bench
runs=3
while [ $# -gt 0 ]; do
    case "$1" in
    --size-gb) size=$2; shift 2 ;;
    --build) build=$2; shift 2 ;;
    --work) work=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    -h|--help) sed -n '2,11p' "$0"; exit 0 ;;
    *) echo "unknown option: $1" >&2; exit 2 ;;
    esac
done
for tool in hyperfine zip python3; do
    command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 2; }
done

cmake --build "$build" --target backup_bench -j2 >&2
tree="$work/tree-$size"
out="$work/out"
if [ ! -d "$tree" ]; then
    echo "generating $tree" >&2
    python3 "$root/bench/backup_bench_tree.py" "$tree" --size-gb "$size" >&2
fi
echo "warming the page cache" >&2
find "$tree" -type f -exec cat {} + >/dev/null

stamp=$(date +%Y%m%d-%H%M%S)
mkdir -p "$work"
json="$work/backup_bench-$stamp.json"
hyperfine --warmup 1 --runs "$runs" --prepare "rm -rf '$out' && mkdir -p '$out'" \
    --export-json "$json" \
    -n pelidor-backup "'$build/bench/backup_bench' '$out' '$tree'" \
    -n zip-6 "zip -6 -r -q '$out/tree.zip' '$tree'"

python3 - "$json" <<'PY'
import json, sys
results = {r["command"]: r for r in json.load(open(sys.argv[1]))["results"]}
mine, zip6 = results["pelidor-backup"]["median"], results["zip-6"]["median"]
ratio = mine / zip6
print("pelidor-backup %.2f s, zip -6 %.2f s, ratio %.2f (target <= 1.5): %s"
      % (mine, zip6, ratio, "PASS" if ratio <= 1.5 else "FAIL"))
PY
