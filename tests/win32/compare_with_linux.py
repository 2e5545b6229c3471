#!/usr/bin/env python3
"""Runs the Linux pelidor-scan and pelidor-scan.exe (under Wine) on the same tree and
compares their output in every mode and every format: the same groups of the same
files, with the same sizes and modification times.

Usage: compare_with_linux.py LINUX-pelidor-scan WINDOWS-pelidor-scan.exe

The tree holds copies in nested and hidden folders and beyond 260 characters, names
outside every single ANSI code page, a hard link, files of 8191 and 8192 bytes with
the same head and tail, names that differ in letter case in different folders, and
empty files. Paths are compared relative to
the tree with "/" as the separator. Within a group the two programs may list the files
in another order (the engine orders by the path's bytes, and "\\" sorts after digits
and letters where "/" sorts before them), so each group is compared as a set and the
groups in order.
"""
import csv
import io
import json
import os
import random
import subprocess
import sys
import tempfile

MODES = ["name", "empty", "partial", "full"]


def seeded(size, seed):
    return random.Random(seed).randbytes(size)


def build_tree(root):
    def write(rel, data, mtime=1700000000):
        path = os.path.join(root, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        os.utime(path, (mtime, mtime))

    big = seeded(20000, 1)
    write("a/copy1.bin", big)
    write("b/deeper/copy2.bin", big)
    write(".hidden/copy3.bin", big)
    write("\u65e5\u672c/\u0424\u043e\u0442\u043e.bin", big, 1600000000)
    os.link(os.path.join(root, "a/copy1.bin"), os.path.join(root, "a/copy1-link.bin"))
    head_tail = seeded(10000, 2)
    middle = bytearray(head_tail)
    middle[3000:6000] = seeded(3000, 3)
    write("c/ht1.dat", head_tail)
    write("c/ht2.dat", bytes(middle))
    write("edge/8191a", seeded(8191, 4))
    write("edge/8191b", seeded(8191, 4))
    write("edge/8192a", seeded(8192, 5))
    write("edge/8192b", seeded(8192, 5)[:-1] + b"x")
    write("names/x/Report.TXT", b"one")
    write("names/y/report.txt", b"two")
    write("names/z/caf\u00e9.txt", b"three")
    write("names/w/caf\u00e9.txt", b"four")
    write("empty/e1", b"")
    write("empty/e2", b"")
    write("single/only.bin", seeded(333, 6))
    deep = "deep"
    while len(deep) < 300:  # beyond the old 260-character limit of Windows paths
        deep += f"/level-{len(deep):04d}-with-a-long-name"
    write(deep + "/far.bin", big)
    for i in range(30):
        write(f"many/d{i % 7}/f{i}.dat", seeded(100 + i % 5, i % 5))


def normalize(path, prefix, sep):
    if not path.startswith(prefix):
        raise AssertionError(f"{path!r} is not below {prefix!r}")
    return path[len(prefix):].replace(sep, "/")


def groups_of_text(out, prefix, sep):
    groups = []
    for paragraph in out.split("\n\n"):
        lines = [l for l in paragraph.split("\n") if l]
        if lines:
            groups.append(frozenset((normalize(l, prefix, sep), None, None) for l in lines))
    return groups


def groups_of_csv(out, prefix, sep):
    rows = list(csv.reader(io.StringIO(out, newline="")))
    assert rows[0] == ["group", "path", "size", "mtime", "ctime"], rows[0]
    groups = {}
    for row in rows[1:]:
        groups.setdefault(int(row[0]), set()).add((normalize(row[1], prefix, sep), row[2], row[3]))
    return [frozenset(groups[k]) for k in sorted(groups)]


def groups_of_json(out, prefix, sep):
    doc = json.loads(out)
    return [frozenset((normalize(f["path"], prefix, sep), str(f["size"]), f["mtime"])
                      for f in g["files"]) for g in doc["groups"]], doc["mode"]


def run(command, env):
    r = subprocess.run(command, capture_output=True, env=env, timeout=120)
    if r.returncode != 0:
        raise AssertionError(f"{command} exited with {r.returncode}: {r.stderr.decode(errors='replace')}")
    return r.stdout.decode("utf-8")


def main():
    linux, windows = sys.argv[1], sys.argv[2]
    env = dict(os.environ, TZ="UTC")
    failures = 0
    with tempfile.TemporaryDirectory(prefix="pelidor-compare-") as root:
        build_tree(root)
        win_root = "Z:" + root.replace("/", "\\")
        checked = 0
        for mode in MODES:
            for fmt in ["text", "csv", "json"]:
                lin_out = run([linux, "--quiet", "--mode", mode, "--format", fmt, root], env)
                win_out = run(["wine", windows, "--quiet", "--mode", mode, "--format", fmt, win_root], env)
                if fmt == "text":
                    a = groups_of_text(lin_out, root + "/", "/")
                    b = groups_of_text(win_out, win_root + "\\", "\\")
                elif fmt == "csv":
                    a = groups_of_csv(lin_out, root + "/", "/")
                    b = groups_of_csv(win_out, win_root + "\\", "\\")
                else:
                    a, lm = groups_of_json(lin_out, root + "/", "/")
                    b, wm = groups_of_json(win_out, win_root + "\\", "\\")
                    if lm != wm:
                        print(f"FAIL {mode}/{fmt}: mode {lm!r} against {wm!r}")
                        failures += 1
                if not a:
                    print(f"FAIL {mode}/{fmt}: no groups at all")
                    failures += 1
                if a != b:
                    print(f"FAIL {mode}/{fmt}:\n  linux:   {a}\n  windows: {b}")
                    failures += 1
                checked += 1
        print(f"compare_with_linux: {checked} runs, {failures} differences")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
