#!/usr/bin/env bash
# Time pelidor-scan against other duplicate finders on one generated tree.
#
#   bench/compare.sh [options] [TREE]
#
# With no TREE, a tree is generated with gen_tree.py (or reused when a
# complete one with the same parameters exists).  See bench/README.md.
set -euo pipefail

BENCH_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
REPO_DIR=$(dirname "$BENCH_DIR")

SCAN=${PELIDOR_SCAN:-$REPO_DIR/build/cli/pelidor-scan}
FILES=100000
SIZE_GB=2.5
SEED=1
TREES_DIR=${PELIDOR_BENCH_TREES:-$BENCH_DIR/trees}
RESULTS_DIR=$BENCH_DIR/results
RUNS=3
WARMUP=1
TIMEOUT=900
CHECK=0
CHECK_ONLY=0
INSTALL=1
REMOVE_TREE=0
PEERS="jdupes fdupes rdfind rmlint"
TREE=

usage() {
  cat <<EOF
Usage: bench/compare.sh [options] [TREE]

Times pelidor-scan (modes full, partial, name) against jdupes, fdupes, rdfind,
rmlint and 'find -type f' with hyperfine on a warm page cache, measures peak
memory with /usr/bin/time -v, and writes a markdown report to stdout and to
bench/results/latest.md (raw data in bench/results/RUN/).

TREE                 scan this existing folder instead of a generated tree
Options:
  --files N          files in the generated tree (default $FILES)
  --size-gb G        size of the generated tree in GiB (default $SIZE_GB)
  --seed S           generator seed (default $SEED)
  --trees-dir DIR    where generated trees are kept (default bench/trees,
                     or \$PELIDOR_BENCH_TREES)
  --remove-tree      delete the generated tree at the end (default: keep it
                     for the next run)
  --runs N           timed runs per command (default $RUNS)
  --warmup N         untimed runs per command before timing (default $WARMUP)
  --timeout SECS     limit for each single run of a command (default $TIMEOUT)
  --peers "LIST"     peers to run, from: jdupes fdupes rdfind rmlint
                     (default all four)
  --check            also compare the groups pelidor-scan finds with the
                     expected ones (generator manifest, or a Python reference
                     scan for a given TREE) and, for mode full, with jdupes
  --check-only       only run that check, no timing
  --scan PATH        the pelidor-scan binary (default build/cli/pelidor-scan,
                     or \$PELIDOR_SCAN)
  --results DIR      where reports go (default bench/results)
  --no-install       never call apt-get; fail when a tool is missing
  -h, --help         show this help
EOF
}

die() { echo "compare.sh: $*" >&2; exit 2; }
log() { echo "== $*" >&2; }
# Quote one word for sh -c (hyperfine runs commands through sh).
shq() { local s=${1//\'/\'\\\'\'}; printf "'%s'" "$s"; }
need_value() { [[ $# -ge 2 && -n $2 ]] || die "option $1 needs a value"; }
is_uint() { [[ $1 =~ ^[0-9]+$ ]]; }

while [[ $# -gt 0 ]]; do
  case $1 in
    --files) need_value "$@"; FILES=$2; shift 2 ;;
    --size-gb) need_value "$@"; SIZE_GB=$2; shift 2 ;;
    --seed) need_value "$@"; SEED=$2; shift 2 ;;
    --trees-dir) need_value "$@"; TREES_DIR=$2; shift 2 ;;
    --remove-tree) REMOVE_TREE=1; shift ;;
    --runs) need_value "$@"; RUNS=$2; shift 2 ;;
    --warmup) need_value "$@"; WARMUP=$2; shift 2 ;;
    --timeout) need_value "$@"; TIMEOUT=$2; shift 2 ;;
    --peers) [[ $# -ge 2 ]] || die "option --peers needs a value"; PEERS=$2; shift 2 ;;
    --check) CHECK=1; shift ;;
    --check-only) CHECK=1; CHECK_ONLY=1; shift ;;
    --scan) need_value "$@"; SCAN=$2; shift 2 ;;
    --results) need_value "$@"; RESULTS_DIR=$2; shift 2 ;;
    --no-install) INSTALL=0; shift ;;
    -h|--help) usage; exit 0 ;;
    --) shift; [[ $# -le 1 ]] || die "give at most one TREE"; TREE=${1:-}; shift $# ;;
    -*) die "unknown option $1 (see --help)" ;;
    *) [[ -z $TREE ]] || die "give at most one TREE"; TREE=$1; shift ;;
  esac
done

is_uint "$FILES" && ((FILES >= 200)) || die "--files must be a whole number of at least 200"
[[ $SIZE_GB =~ ^[0-9]*\.?[0-9]+$ ]] || die "--size-gb must be a positive number"
is_uint "$SEED" || die "--seed must be a whole number"
is_uint "$RUNS" && ((RUNS >= 1)) || die "--runs must be at least 1"
is_uint "$WARMUP" || die "--warmup must be a whole number"
is_uint "$TIMEOUT" && ((TIMEOUT >= 1)) || die "--timeout must be a whole number of seconds"
for p in $PEERS; do
  case $p in jdupes|fdupes|rdfind|rmlint) ;; *) die "unknown peer '$p'" ;; esac
done

# ---------------------------------------------------------------- tools
if [[ ! -x $SCAN ]]; then
  die "pelidor-scan not found at $SCAN.
Build it first:
  cmake -S $REPO_DIR -B $REPO_DIR/build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
  cmake --build $REPO_DIR/build --target pelidor-scan
or point --scan (or PELIDOR_SCAN) at the binary."
fi
SCAN=$(cd "$(dirname "$SCAN")" && pwd)/$(basename "$SCAN")
command -v python3 >/dev/null || die "python3 is required"

declare -A PKG_OF=([jdupes]=jdupes [fdupes]=fdupes [rdfind]=rdfind [rmlint]=rmlint
                   [hyperfine]=hyperfine [time]=time [timeout]=coreutils)
missing_pkgs=()
for tool in hyperfine timeout $PEERS; do
  command -v "$tool" >/dev/null || missing_pkgs+=("${PKG_OF[$tool]}")
done
[[ -x /usr/bin/time ]] || missing_pkgs+=(time)
if ((CHECK_ONLY)); then  # the check needs only jdupes
  missing_pkgs=()
  command -v jdupes >/dev/null || missing_pkgs+=(jdupes)
  command -v timeout >/dev/null || missing_pkgs+=(coreutils)
fi
if ((${#missing_pkgs[@]})); then
  ((INSTALL)) || die "missing: ${missing_pkgs[*]} (run without --no-install, or: apt-get install -y ${missing_pkgs[*]})"
  command -v apt-get >/dev/null || die "missing: ${missing_pkgs[*]}, and apt-get is not available to install them"
  SUDO=()
  if [[ $(id -u) -ne 0 ]]; then
    command -v sudo >/dev/null || die "missing: ${missing_pkgs[*]}; run as root or install them: apt-get install -y ${missing_pkgs[*]}"
    SUDO=(sudo)
  fi
  log "installing ${missing_pkgs[*]}"
  APT=("${SUDO[@]}" env DEBIAN_FRONTEND=noninteractive apt-get)
  timeout 600 "${APT[@]}" update -qq >&2 || die "apt-get update failed"
  timeout 900 "${APT[@]}" install -y -qq "${missing_pkgs[@]}" >&2 || die "apt-get install ${missing_pkgs[*]} failed"
fi

# ---------------------------------------------------------------- tree
MANIFEST=
GEN_ARGS=
if [[ -n $TREE ]]; then
  [[ -d $TREE ]] || die "$TREE is not a folder"
  TREE=$(cd "$TREE" && pwd)
  ((REMOVE_TREE == 0)) || die "--remove-tree only applies to generated trees"
else
  mkdir -p "$TREES_DIR"
  TREES_DIR=$(cd "$TREES_DIR" && pwd)
  TREE=$TREES_DIR/seed$SEED-files$FILES-gb$SIZE_GB
  MANIFEST=$TREE.manifest.json
  GEN_ARGS="--files $FILES --size-gb $SIZE_GB --seed $SEED"
  if [[ -d $TREE && -f $MANIFEST ]]; then
    log "reusing $TREE"
  else
    # A tree without its manifest is an interrupted generation: start over.
    [[ ! -e $TREE ]] || { log "removing incomplete $TREE"; rm -rf -- "$TREE"; }
    rm -f -- "$MANIFEST"
    need_kib=$(python3 -c "print(int($SIZE_GB * 1.15 * 2**20) + 102400)")
    avail_kib=$(df -Pk "$TREES_DIR" | awk 'NR==2 {print $4}')
    ((avail_kib > need_kib)) || die "not enough space in $TREES_DIR: need about $((need_kib / 1024)) MiB, have $((avail_kib / 1024)) MiB (use --trees-dir)"
    log "generating $TREE ($GEN_ARGS)"
    timeout 3600 python3 "$BENCH_DIR/gen_tree.py" "$TREE" $GEN_ARGS --manifest "$MANIFEST" >&2 \
      || { rm -rf -- "$TREE" "$MANIFEST"; die "gen_tree.py failed"; }
  fi
fi

WORK=$(mktemp -d "${TMPDIR:-/tmp}/pelidor-bench.XXXXXX")
cleanup() {
  rm -rf -- "$WORK"
  if ((REMOVE_TREE)) && [[ -n $MANIFEST ]]; then rm -rf -- "$TREE" "$MANIFEST"; fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

STAMP=$(date +%Y%m%d-%H%M%S)
RUN_DIR=$RESULTS_DIR/$STAMP
mkdir -p "$RUN_DIR"
RUN_DIR=$(cd "$RUN_DIR" && pwd)

log "counting files"
read -r N_FILES N_BYTES < <(find "$TREE" -type f -printf '%s\n' | awk '{n++; b+=$1} END {printf "%d %.0f\n", n, b}')
mem_avail_kib=$(awk '/MemAvailable/ {print $2}' /proc/meminfo)
if ((N_BYTES / 1024 > mem_avail_kib * 8 / 10)); then
  log "warning: the tree ($((N_BYTES >> 20)) MiB) may not fit in the page cache ($((mem_avail_kib >> 10)) MiB available); timings will include disk reads"
fi
log "warming the page cache ($N_FILES files, $((N_BYTES >> 20)) MiB)"
find "$TREE" -type f -print0 | xargs -0 -r cat -- >/dev/null 2>&1 || true

# ---------------------------------------------------------------- check
CHECK_FAILED=0
if ((CHECK)); then
  log "correctness check"
  : >"$RUN_DIR/check.txt"
  man_args=()
  [[ -n $MANIFEST ]] && man_args=(--manifest "$MANIFEST")
  for mode in full partial name empty; do
    out=$WORK/check-$mode.json
    if ! timeout "$TIMEOUT" "$SCAN" --quiet --mode "$mode" --format json "$TREE" >"$out" 2>"$WORK/check-$mode.err"; then
      { echo "mode $mode"; echo "pelidor-scan failed: $(tail -n 3 "$WORK/check-$mode.err")"; } >>"$RUN_DIR/check.txt"
      CHECK_FAILED=1
      continue
    fi
    jd_args=()
    if [[ $mode == full ]] && command -v jdupes >/dev/null; then
      (cd "$WORK" && timeout "$TIMEOUT" jdupes -r -q "$TREE" >"$WORK/jdupes.txt") && jd_args=(--jdupes "$WORK/jdupes.txt")
    fi
    python3 "$BENCH_DIR/check_groups.py" "$TREE" --mode "$mode" --pelidor "$out" \
      "${man_args[@]}" "${jd_args[@]}" >>"$RUN_DIR/check.txt" 2>&1 || CHECK_FAILED=1
  done
  if [[ -z $MANIFEST ]]; then
    echo "(no generator manifest: expected groups come from a Python reference scan; jdupes does not count hard links to one file as duplicates)" >>"$RUN_DIR/check.txt"
  fi
  cat "$RUN_DIR/check.txt" >&2
  cp "$RUN_DIR/check.txt" "$RESULTS_DIR/check-latest.txt"
  if ((CHECK_ONLY)); then
    ((CHECK_FAILED == 0)) && log "check passed" || log "check FAILED"
    exit $((CHECK_FAILED))
  fi
fi

# ---------------------------------------------------------------- timing
# Entries are name, tool, mode and command, separated by US (0x1f).  Commands run
# in $WORK, so anything a tool writes to its current folder is thrown away.
US=$'\x1f'
T=$(shq "$TREE")
commands=(
  "pelidor-full${US}pelidor-scan${US}full${US}$(shq "$SCAN") --quiet --mode full $T"
  "pelidor-partial${US}pelidor-scan${US}partial${US}$(shq "$SCAN") --quiet --mode partial $T"
  "pelidor-name${US}pelidor-scan${US}name${US}$(shq "$SCAN") --quiet --mode name $T"
)
for p in $PEERS; do
  case $p in
    jdupes) commands+=("jdupes${US}jdupes${US}full${US}jdupes -r -q $T") ;;
    fdupes) commands+=("fdupes${US}fdupes${US}full${US}fdupes -r -q -n $T") ;;
    rdfind) commands+=("rdfind${US}rdfind${US}full${US}rdfind -dryrun true -makeresultsfile false -checksum md5 $T") ;;
    rmlint) commands+=("rmlint${US}rmlint${US}full${US}rmlint -T df --hidden -o summary:rmlint-summary.txt $T") ;;
  esac
done
commands+=("find${US}find${US}list files${US}find $T -type f")

version_of() {
  case $1 in
    pelidor-scan) "$SCAN" --version 2>/dev/null | head -n1 | awk '{print $NF}' ;;
    jdupes) jdupes -v 2>/dev/null | head -n1 | awk '{print $2}' ;;
    fdupes) fdupes -v 2>/dev/null | awk '{print $2}' ;;
    rdfind) rdfind -v 2>/dev/null | awk '{print $NF}' ;;
    rmlint) rmlint --version 2>&1 | head -n1 | awk '{print $2}' ;;
    find) find --version | head -n1 | awk '{print $NF}' ;;
  esac
}

: >"$WORK/commands.tsv"
for entry in "${commands[@]}"; do
  IFS=$'\x1f' read -r name tool mode cmd <<<"$entry"
  display=${cmd//"$T"/TREE}
  display=${display//"$(shq "$SCAN")"/pelidor-scan}
  printf '%s\t%s\t%s\t%s\n' "$name" "$tool" "$mode" "$display" >>"$WORK/commands.tsv"
done
: >"$WORK/versions.tsv"
for tool in pelidor-scan $PEERS find; do
  printf '%s\t%s\n' "$tool" "$(version_of "$tool" | tr -d '\n\t')" >>"$WORK/versions.tsv"
done

SCAN_FAILED=0
for entry in "${commands[@]}"; do
  IFS=$'\x1f' read -r name tool mode cmd <<<"$entry"
  log "timing $name"
  rm -f "$RUN_DIR/$name.err"
  # -N: no shell in between, so even millisecond runs (find) are timed cleanly.
  if ! (cd "$WORK" && hyperfine -N --style basic --warmup "$WARMUP" --runs "$RUNS" \
          --command-name "$name" --export-json "$RUN_DIR/$name.json" \
          "timeout $TIMEOUT $cmd") >&2 2>"$WORK/hyperfine.err"; then
    cat "$WORK/hyperfine.err" >&2
    code=$(sed -n 's/.*non-zero exit code: \([0-9]*\).*/\1/p' "$WORK/hyperfine.err" | head -n1)
    case $code in
      124) echo "timed out (limit ${TIMEOUT}s per run)" ;;
      "") echo "failed" ;;
      *) echo "failed (exit $code)" ;;
    esac >"$RUN_DIR/$name.err"
    rm -f "$RUN_DIR/$name.json"
    [[ $tool != pelidor-scan ]] || SCAN_FAILED=1
    log "$name: $(cat "$RUN_DIR/$name.err"); continuing"
    continue
  fi
  cat "$WORK/hyperfine.err" >&2
  log "peak memory of $name"
  # timeout runs outside time(1) so the figure is the scanner's own RSS.
  (cd "$WORK" && eval "timeout $TIMEOUT /usr/bin/time -v -o $(shq "$RUN_DIR/$name.time") $cmd" >/dev/null 2>&1) \
    || log "$name: memory run failed"
done

TREE=$TREE N_FILES=$N_FILES N_BYTES=$N_BYTES GEN_ARGS=$GEN_ARGS RUNS=$RUNS WARMUP=$WARMUP \
HF_VERSION=$(hyperfine --version | awk '{print $2}') \
python3 - "$WORK" "$RUN_DIR/meta.json" <<'EOF'
import json, os, platform, sys, time
work, out = sys.argv[1], sys.argv[2]
env = os.environ


def first(path, prefix, conv, default):
    with open(path) as f:
        for line in f:
            if line.startswith(prefix):
                return conv(line.split(":", 1)[1])
    return default


with open(os.path.join(work, "commands.tsv"), encoding="utf-8", errors="replace") as f:
    commands = [dict(zip(("name", "tool", "mode", "display"), l.rstrip("\n").split("\t")))
                for l in f if l.strip()]
with open(os.path.join(work, "versions.tsv"), encoding="utf-8", errors="replace") as f:
    versions = dict(l.rstrip("\n").split("\t", 1) for l in f if l.strip())
meta = {
    "date": time.strftime("%Y-%m-%d %H:%M:%S UTC", time.gmtime()), "tree": env["TREE"],
    "files": int(env["N_FILES"]), "bytes": int(env["N_BYTES"]), "gen_args": env["GEN_ARGS"],
    "cpu": first("/proc/cpuinfo", "model name", str.strip, platform.machine()),
    "cpus": os.cpu_count(),
    "ram": first("/proc/meminfo", "MemTotal", lambda v: "%.1f GiB" % (int(v.split()[0]) / 2**20), "?"),
    "kernel": platform.release(), "hyperfine": env["HF_VERSION"], "runs": int(env["RUNS"]),
    "warmup": int(env["WARMUP"]), "versions": versions, "commands": commands,
}
with open(out, "w", encoding="utf-8") as f:
    json.dump(meta, f, indent=1, ensure_ascii=False)
EOF

python3 "$BENCH_DIR/report.py" "$RUN_DIR" >"$RUN_DIR/report.md"
cp "$RUN_DIR/report.md" "$RESULTS_DIR/latest.md"
cat "$RUN_DIR/report.md"
log "report: $RESULTS_DIR/latest.md (raw data in $RUN_DIR)"
if ((REMOVE_TREE == 0)) && [[ -n $MANIFEST ]]; then
  log "generated tree kept for the next run: $TREE ($((N_BYTES >> 20)) MiB; --remove-tree deletes it)"
fi
# Exit 1 when pelidor-scan failed or found other groups than expected; missed
# targets do not change the exit status.
exit $((CHECK_FAILED || SCAN_FAILED))
