#!/usr/bin/env python3
"""Compare duplicate groups reported by pelidor-scan with the expected ones.

    check_groups.py TREE --mode MODE --pelidor SCAN.json [--manifest M.json] [--jdupes OUT.txt]
    check_groups.py TREE --mode full --jdupes OUT.txt [--manifest M.json]
    check_groups.py TREE --mode MODE --reference-only [--manifest M.json]

Expected groups come from the generator's manifest (gen_tree.py --manifest)
when one is given, else from a reference scan done here in Python:

  full     non-empty files with equal MD5 of the whole content
  partial  non-empty files of equal size and equal MD5 of the first and last
           1024 bytes (of the whole file when smaller than 8192 bytes)
  name     files of equal size whose names are equal when A-Z/a-z are folded
  empty    all empty files, one group

With --jdupes (full mode only), the groups of `jdupes -r TREE` are compared
with pelidor-scan's as well (with the expected groups when --pelidor is not
given).  jdupes skips empty files and, by default, does
not count hard links to one file as duplicates of each other (pelidor-scan
reads each path as its own file), so trees with hard links differ there.

Groups are compared as sets of relative paths, ignoring order.  Exit status:
0 when all comparisons agree, 1 on a mismatch, 2 on bad input.
"""

import argparse
import hashlib
import json
import os
import sys

PART_THRESHOLD = 8192
PART_EDGE = 1024
ASCII_UPPER = str.maketrans("abcdefghijklmnopqrstuvwxyz", "ABCDEFGHIJKLMNOPQRSTUVWXYZ")


def walk(root):
    """(relative path, size) of every regular file under root, symlinks not followed."""
    out = []
    stack = [""]
    while stack:
        rel = stack.pop()
        try:
            it = os.scandir(os.path.join(root, rel) if rel else root)
        except OSError as e:
            print("warning: cannot list %s: %s" % (rel or root, e), file=sys.stderr)
            continue
        with it:
            for e in it:
                r = e.name if not rel else rel + "/" + e.name
                try:
                    if e.is_dir(follow_symlinks=False):
                        stack.append(r)
                    elif e.is_file(follow_symlinks=False):
                        out.append((r, e.stat(follow_symlinks=False).st_size))
                except OSError:
                    pass
    return out


def md5_file(path, size, partial):
    h = hashlib.md5()
    with open(path, "rb") as f:
        if partial and size >= PART_THRESHOLD:
            h.update(f.read(PART_EDGE))
            f.seek(size - PART_EDGE)
            h.update(f.read(PART_EDGE))
        else:
            while True:
                b = f.read(1 << 20)
                if not b:
                    break
                h.update(b)
    return h.digest()


def reference_groups(root, mode):
    files = walk(root)
    if mode == "empty":
        g = [r for r, s in files if s == 0]
        return [g] if len(g) > 1 else []
    buckets = {}
    for r, s in files:
        if mode == "name":
            buckets.setdefault((s, os.path.basename(r).translate(ASCII_UPPER)), []).append(r)
        elif s > 0:
            buckets.setdefault(s, []).append(r)
    if mode == "name":
        return [g for g in buckets.values() if len(g) > 1]
    groups = []
    for s, paths in buckets.items():
        if len(paths) < 2:
            continue
        by_hash = {}
        for r in paths:
            try:
                by_hash.setdefault(md5_file(os.path.join(root, r), s, mode == "partial"), []).append(r)
            except OSError as e:
                print("warning: cannot read %s: %s" % (r, e), file=sys.stderr)
        groups.extend(g for g in by_hash.values() if len(g) > 1)
    return groups


def rel(root, p):
    return os.path.relpath(os.path.abspath(p), root).replace(os.sep, "/")


def load_pelidor(root, path):
    try:
        with open(path, encoding="utf-8", errors="surrogateescape") as f:
            data = json.load(f)
        return [[rel(root, x["path"]) for x in g["files"]] for g in data["groups"]]
    except (OSError, ValueError, KeyError, TypeError) as e:
        raise SystemExit("check_groups: %s is not pelidor-scan JSON output: %s" % (path, e))


def load_jdupes(root, path):
    groups, cur = [], []
    with open(path, encoding="utf-8", errors="surrogateescape") as f:
        for line in f:
            line = line.rstrip("\n")
            if line:
                cur.append(rel(root, line))
            elif cur:
                groups.append(cur)
                cur = []
    if cur:
        groups.append(cur)
    return groups


def load_manifest(path, mode):
    try:
        with open(path, encoding="utf-8") as f:
            return json.load(f)["groups"][mode]
    except (OSError, ValueError, KeyError) as e:
        raise SystemExit("check_groups: cannot read mode %s from manifest %s: %s" % (mode, path, e))


def compare(label_a, a, label_b, b, show=5):
    """Print how two groupings differ; return True when they are equal."""
    sa = set(frozenset(g) for g in a)
    sb = set(frozenset(g) for g in b)
    dup_a = sum(len(g) for g in a) - len(set().union(*sa)) if sa else 0
    dup_b = sum(len(g) for g in b) - len(set().union(*sb)) if sb else 0
    fa = set().union(*sa) if sa else set()
    fb = set().union(*sb) if sb else set()
    small_a = sum(1 for g in a if len(g) < 2)
    small_b = sum(1 for g in b if len(g) < 2)
    ok = sa == sb and not dup_a and not dup_b and not small_a and not small_b
    print("%-9s %6d groups %7d files | %-9s %6d groups %7d files | %s"
          % (label_a, len(a), sum(len(g) for g in a), label_b, len(b), sum(len(g) for g in b),
             "MATCH" if ok else "DIFFER"))
    if ok:
        return True
    if small_a or small_b:
        print("  groups of fewer than 2 files: %s %d, %s %d" % (label_a, small_a, label_b, small_b))
    if dup_a or dup_b:
        print("  paths listed in more than one group: %s %d, %s %d" % (label_a, dup_a, label_b, dup_b))
    only_a, only_b = sorted(fa - fb), sorted(fb - fa)
    print("  files only in %s: %d; only in %s: %d; groups only in %s: %d; only in %s: %d"
          % (label_a, len(only_a), label_b, len(only_b), label_a, len(sa - sb), label_b, len(sb - sa)))
    for p in only_a[:show]:
        print("    only %s: %s" % (label_a, p))
    for p in only_b[:show]:
        print("    only %s: %s" % (label_b, p))
    for g in sorted(sorted(g) for g in sa - sb)[:show]:
        print("    %s group: %s" % (label_a, g))
    for g in sorted(sorted(g) for g in sb - sa)[:show]:
        print("    %s group: %s" % (label_b, g))
    return False


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("tree")
    ap.add_argument("--mode", required=True, choices=("full", "partial", "name", "empty"))
    ap.add_argument("--pelidor", help="pelidor-scan --format json output")
    ap.add_argument("--manifest", help="gen_tree.py manifest of the tree")
    ap.add_argument("--jdupes", help="output of jdupes -r TREE (full mode)")
    ap.add_argument("--reference-only", action="store_true",
                    help="check the manifest against a Python scan of the tree")
    a = ap.parse_args()
    if not os.path.isdir(a.tree):
        ap.error("%s is not a folder" % a.tree)
    if a.jdupes and a.mode != "full":
        ap.error("--jdupes compares full-content groups only")
    if not a.pelidor and not a.jdupes and not a.reference_only:
        ap.error("give --pelidor, --jdupes or --reference-only")
    root = os.path.abspath(a.tree)

    if a.manifest:
        expected, label = load_manifest(a.manifest, a.mode), "manifest"
    else:
        expected, label = reference_groups(root, a.mode), "reference"
    ok = True
    print("mode %s" % a.mode)
    if a.reference_only:
        if a.manifest:
            ok = compare("manifest", expected, "reference", reference_groups(root, a.mode))
        else:
            print("reference %6d groups %7d files" % (len(expected), sum(len(g) for g in expected)))
    if a.pelidor:
        got = load_pelidor(root, a.pelidor)
        ok = compare(label, expected, "pelidor", got) and ok
        if a.jdupes:
            ok = compare("jdupes", load_jdupes(root, a.jdupes), "pelidor", got) and ok
    elif a.jdupes:
        ok = compare(label, expected, "jdupes", load_jdupes(root, a.jdupes)) and ok
    sys.exit(0 if ok else 1)


if __name__ == "__main__":
    main()
