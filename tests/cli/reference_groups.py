#!/usr/bin/env python3
"""Duplicate groups of folder trees, computed with hashlib and os.walk alone.

Usage: reference_groups.py MODE FOLDER...

MODE is name, partial, full or empty, with the default size bounds of pelidor-scan:
  name     same size and same base name, only ASCII letters folded to one case
  partial  same size and same MD5 of the first and last 1024 bytes (of the whole
           file below 8192 bytes); empty files left out
  full     same MD5 of the whole file; empty files left out
  empty    files of size 0
Only regular files count; symbolic links are neither followed nor listed.

Prints the groups like `pelidor-scan --format text`: one path per line, one blank
line between groups; paths and groups sorted by their bytes.
"""
import hashlib
import os
import stat
import sys

HEAD_TAIL = 1024
PARTIAL_LIMIT = 8192
MODES = ("name", "partial", "full", "empty")


def regular_files(folders):
    """(path, size) of every regular file below the folders, each path once (bytes)."""
    seen = set()
    for folder in folders:
        root = os.path.normpath(os.path.abspath(os.fsencode(folder)))
        # followlinks=False: links to folders are listed among the folders but not
        # entered; links to files are listed among the files and dropped by lstat.
        for dirpath, _dirnames, filenames in os.walk(root, followlinks=False):
            for name in filenames:
                path = os.path.join(dirpath, name)
                try:
                    st = os.lstat(path)
                except OSError:
                    continue
                if stat.S_ISREG(st.st_mode) and path not in seen:
                    seen.add(path)
                    yield path, st.st_size


def md5_whole(path):
    h = hashlib.md5()
    try:
        with open(path, "rb") as f:
            for chunk in iter(lambda: f.read(1 << 20), b""):
                h.update(chunk)
    except OSError:
        return None
    return h.hexdigest().upper()


def md5_partial(path, size):
    if size < PARTIAL_LIMIT:
        return md5_whole(path)
    try:
        with open(path, "rb") as f:
            head = f.read(HEAD_TAIL)
            f.seek(size - HEAD_TAIL)
            tail = f.read(HEAD_TAIL)
    except OSError:
        return None
    if len(head) != HEAD_TAIL or len(tail) != HEAD_TAIL:
        return None
    return hashlib.md5(head + tail).hexdigest().upper()


def group_key(mode, path, size):
    """The key under which files are duplicates, or None when the file takes no part."""
    if mode == "name":
        return (size, os.path.basename(path).upper())  # bytes.upper folds ASCII only
    if mode == "partial":
        digest = md5_partial(path, size) if size >= 1 else None
        return None if digest is None else (size, digest)
    if mode == "full":
        return md5_whole(path) if size >= 1 else None
    if mode == "empty":
        return 0 if size == 0 else None
    raise ValueError("unknown mode " + mode)


def expected_groups(mode, folders):
    """Sorted list of groups; each group a sorted list of paths (bytes)."""
    by_key = {}
    for path, size in regular_files(folders):
        key = group_key(mode, path, size)
        if key is not None:
            by_key.setdefault(key, []).append(path)
    return sorted(sorted(g) for g in by_key.values() if len(g) >= 2)


def main(argv):
    if len(argv) < 3 or argv[1] not in MODES:
        sys.stderr.write(__doc__)
        return 2
    out = sys.stdout.buffer
    for i, group in enumerate(expected_groups(argv[1], argv[2:])):
        if i:
            out.write(b"\n")
        for path in group:
            out.write(path + b"\n")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
