#!/usr/bin/env python3
"""Compares pelidor-scan with reference_groups.py on a mixed tree, in all four modes.

Usage: check_reference.py PATH-TO-pelidor-scan

The tree holds copies in nested and hidden folders, files with the same head and
tail but another middle, files of 8191 and 8192 bytes, names that differ in ASCII
and in non-ASCII letter case, empty files, names that are not UTF-8 or hold a line
break, links to files and folders, a hard link and a FIFO. The groups of
`pelidor-scan --format json` must equal the reference's, path for path (the raw
bytes from "path_base64" where the JSON carries it).
"""
import base64
import json
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import reference_groups  # noqa: E402

ISO_TIME = re.compile(r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d$")


def seeded(size, seed):
    return random.Random(seed).randbytes(size)


def build_tree(root):
    def write(rel, data):
        path = os.path.join(root, os.fsencode(rel))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        return path

    report = seeded(3000, 1)
    write("docs/report.txt", report)
    write("docs/nested/deeper/report copy.txt", report)
    write(".hidden/report.bak", report)
    write("docs/.report", report)
    write(b"odd/caf\xe9.txt", report)  # Latin-1 name
    write(b"odd/sub/caf\xe9.txt", seeded(3000, 2))  # same name and size, other content
    write(b'odd/new\nline, "quoted".txt', report)

    middle = seeded(10000, 3)
    other_middle = bytearray(middle)
    for i in range(2000, 7000):
        other_middle[i] ^= 0x5A
    write("ht/a.dat", middle)
    write("ht/b.dat", bytes(other_middle))

    for size in (8191, 8192):
        data = bytearray(seeded(size, size))
        write(f"edge/{size}a", bytes(data))
        data[4000] ^= 1
        write(f"edge/{size}b", bytes(data))
    tail = bytearray(seeded(9000, 4))
    write("edge/tail1", bytes(tail))
    tail[-1] ^= 1
    write("edge/tail2", bytes(tail))

    write("names/Photo.JPG", seeded(500, 10))
    write("names/sub/photo.jpg", seeded(500, 11))
    write("names/\u00c4.txt", seeded(600, 12))  # A with diaeresis
    write("names/sub/\u00e4.txt", seeded(600, 13))  # a with diaeresis
    write("names/x/readme", seeded(700, 14))
    write("names/y/README", seeded(701, 15))

    for rel in ("empty/a", "empty/b", "empty/.c", "docs/a"):
        write(rel, b"")

    write("size/1", seeded(4096, 20))
    write("size/2", seeded(4096, 21))
    big = seeded(200000, 30)
    write("big/one.bin", big)
    write("big/deep/er/two.bin", big)

    links = os.path.join(root, b"links")
    os.makedirs(links)
    os.symlink(b"../docs/report.txt", os.path.join(links, b"to-report"))
    os.symlink(b"../docs", os.path.join(links, b"to-docs"))
    os.symlink(b"../nowhere", os.path.join(links, b"dangling"))
    os.link(os.path.join(root, b"docs/report.txt"), os.path.join(links, b"hard"))
    os.mkfifo(os.path.join(links, b"fifo"))


def scan_groups(binary, mode, folders):
    proc = subprocess.run(
        [binary, "--quiet", "--format=json", "--mode", mode, *folders],
        capture_output=True,
        timeout=120,
        check=False,
    )
    if proc.returncode != 0 or proc.stderr:
        raise AssertionError(f"{mode}: exit {proc.returncode}, stderr {proc.stderr!r}")
    doc = json.loads(proc.stdout.decode("utf-8"))  # strict: the output is UTF-8
    if doc.get("mode") != mode:
        raise AssertionError(f"{mode}: the output names mode {doc.get('mode')!r}")
    groups = []
    for group in doc["groups"]:
        files = []
        for f in group["files"]:
            if "path_base64" in f:
                raw = base64.b64decode(f["path_base64"], validate=True)
                try:
                    raw.decode("utf-8")
                    raise AssertionError(f"path_base64 on a UTF-8 path {raw!r}")
                except UnicodeDecodeError:
                    pass
                if "\ufffd" not in f["path"]:
                    raise AssertionError(f"no replacement character in {f['path']!r}")
            else:
                raw = f["path"].encode("utf-8")
            if f["size"] != os.lstat(raw).st_size:
                raise AssertionError(f"wrong size for {raw!r}: {f['size']}")
            for key in ("mtime", "ctime"):
                if not ISO_TIME.match(f[key]):
                    raise AssertionError(f"bad {key} {f[key]!r} for {raw!r}")
            files.append(raw)
        if len(files) < 2:
            raise AssertionError(f"{mode}: a group of {len(files)} file(s)")
        groups.append(sorted(files))  # a path listed twice stays visible
    return sorted(groups)


def main(argv):
    if len(argv) != 2:
        sys.stderr.write(__doc__)
        return 2
    binary = argv[1]
    base = tempfile.mkdtemp(prefix="pelidor-ref-")
    failures = 0
    try:
        root = os.fsencode(os.path.realpath(base))
        build_tree(root)
        # The nested folder is also given on its own: its files must still be listed once.
        folders = [root, os.path.join(root, b"docs", b"nested")]
        for mode in reference_groups.MODES:
            expected = reference_groups.expected_groups(mode, folders)
            got = scan_groups(binary, mode, folders)
            if not expected:
                print(f"{mode}: the tree holds no duplicates for this mode")
                failures += 1
            elif got != expected:
                print(f"{mode}: pelidor-scan and the reference differ")
                print("  pelidor-scan:", got)
                print("  reference:   ", expected)
                failures += 1
            else:
                print(f"{mode}: {len(got)} groups match")
    finally:
        shutil.rmtree(base, ignore_errors=True)
    print(f"{4 - failures} passed, {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
