#!/usr/bin/env python3
"""Generate a seeded, realistic folder tree for the duplicate-scan benchmarks.

    gen_tree.py OUTDIR [--files 100000] [--size-gb 2.5] [--seed 1] [--manifest FILE]

The tree has nested folders of varied depth and width, a log-normal spread of
file sizes (many small files, a long tail of large ones), exact copies under
the same and other names in other folders (scattered copies and whole mirrored
sub-trees), unrelated files of equal size, families of files that share their
first and last kilobytes but differ in the middle, empty files, hidden files
and folders, and names with spaces, letter-case variants and non-ASCII text.

The same seed and parameters always give the same tree, byte for byte.  File
content is cut from one seeded 16 MiB random pool; every distinct content
carries a unique 8-byte tag, so two files have equal content exactly when the
generator made them copies of each other (or when they are tiny files of
64 bytes or less whose bytes happen to match; those are compared as bytes).
This lets the generator know, without hashing anything, the groups that each
scan mode must report; --manifest writes them as JSON:

    {"params": {...}, "totals": {...},
     "groups": {"full": [[relpath, ...], ...], "partial": ..., "name": ..., "empty": ...}}

Group rules (paths relative to OUTDIR):
  full     non-empty files with equal content
  partial  non-empty files of equal size whose MD5 over the first and last
           1024 bytes is equal (whole file when smaller than 8192 bytes)
  name     files of equal size whose names are equal when only ASCII letters
           are folded to one case (empty files included)
  empty    all empty files, one group
"""

import argparse
import json
import math
import os
import random
import struct
import sys
import time

POOL_SIZE = 16 << 20
TINY = 64  # contents up to this size are compared by their bytes
PART_THRESHOLD = 8192  # partial fingerprint: whole file below this size
PART_EDGE = 1024
SMALL_WRITE = 256 << 10  # contents below this are built in memory and written once

# --------------------------------------------------------------------------- names

WORDS = (
    "report budget invoice notes draft final summary meeting agenda plan "
    "project alpha beta gamma delta data export import backup archive old new "
    "photo image scan holiday trip family party wedding garden house car music "
    "song album track video clip movie lecture course homework thesis paper "
    "letter contract offer receipt tax bank statement config settings cache "
    "temp build release debug test sample example demo readme changelog todo "
    "main utils helper core model view controller server client index style "
    "script module package library vendor assets icons fonts docs manual guide "
    "design mockup logo banner poster flyer schedule roster inventory "
    "orders customers products sales q1 q2 q3 q4 annual monthly weekly daily"
).split()

DIR_WORDS = (
    "Documents Pictures Music Videos Downloads Desktop Projects Backup Archive "
    "Work Personal Shared Photos Camera Screenshots Scans Invoices Taxes School "
    "src include lib bin build dist out tmp cache assets static public images "
    "img css js fonts data logs config docs test tests vendor third_party node_modules "
    "2015 2016 2017 2018 2019 2020 2021 2022 2023 2024 January February March April "
    "May June July August September October November December Old New Misc Stuff"
).split()

UNICODE_WORDS = [
    "café", "résumé", "naïve", "Ærøskøbing", "smörgåsbord", "Straße", "Ünïcödé",
    "日本語", "写真", "данные", "отчёт", "Ελληνικά", "עברית", "العربية", "한국어",
    "piñata", "façade", "crème brûlée", "emoji 🎉", "mañana", "Zürich", "Łódź",
]
# Pairs that differ only in the case of a non-ASCII letter: the name comparison
# folds only A-Z, so these must not be grouped by name.
NON_ASCII_CASE_PAIRS = [("Über.txt", "über.txt"), ("Éclair.md", "éclair.md"),
                        ("Ärger.csv", "ärger.csv"), ("Øre.log", "øre.log"),
                        ("Ωmega.dat", "ωmega.dat"), ("Ìndex.html", "ìndex.html")]
COMMON_NAMES = [
    "README.md", "LICENSE", "Makefile", "index.html", "__init__.py", "config.json",
    "package.json", ".gitignore", "Thumbs.db", "desktop.ini", ".DS_Store", "notes.txt",
    "CMakeLists.txt", "setup.py", "style.css", "main.c", "settings.ini", "data.csv",
    "image.png", "output.log", "todo.txt", "report.pdf", "cover.jpg", "folder.jpg",
]
EMPTY_NAMES = ["__init__.py", ".gitkeep", ".keep", "empty.txt", "LOCK", ".lock",
               "placeholder", "py.typed", "done.flag", "__init__.py"]
HIDDEN_FILES = [".bashrc", ".profile", ".env", ".editorconfig", ".npmrc", ".history",
                ".viminfo", ".netrc", ".Xresources", ".directory", ".project"]
HIDDEN_DIRS = [".git", ".cache", ".config", ".local", ".thumbnails", ".venv", ".idea",
               ".vscode", ".trash", ".npm"]
TINY_TEXTS = [b"\n", b"1\n", b"0\n", b"ok\n", b"{}\n", b"[]\n", b"true\n", b"yes",
              b"# TODO\n", b"placeholder\n", b"ref: refs/heads/main\n", b"\xef\xbb\xbf",
              b"<html></html>\n", b"key=value\n", b"#!/bin/sh\n"]

EXT_BY_CLASS = [
    (4 << 10, [".txt", ".md", ".json", ".py", ".c", ".h", ".cpp", ".js", ".css",
               ".html", ".xml", ".yml", ".ini", ".cfg", ".sh", ".log", ".csv", ".rs"]),
    (256 << 10, [".py", ".js", ".html", ".pdf", ".png", ".jpg", ".JPG", ".docx",
                 ".xlsx", ".svg", ".log", ".csv", ".o", ".gif", ".txt"]),
    (20 << 20, [".jpg", ".JPG", ".png", ".pdf", ".mp3", ".docx", ".zip", ".so",
                ".dll", ".exe", ".psd", ".tif", ".pptx", ".flac"]),
    (1 << 62, [".mp4", ".mkv", ".iso", ".zip", ".tar.gz", ".mov", ".bin", ".vmdk",
               ".avi", ".img"]),
]

ASCII_UPPER = str.maketrans("abcdefghijklmnopqrstuvwxyz", "ABCDEFGHIJKLMNOPQRSTUVWXYZ")


def name_key(name):
    return name.translate(ASCII_UPPER)


def split_ext(name):
    if name.endswith(".tar.gz"):
        return name[:-7], ".tar.gz"
    base, ext = os.path.splitext(name)
    if not base:  # ".bashrc"
        return name, ""
    return base, ext


def ext_for(rng, size):
    for limit, exts in EXT_BY_CLASS:
        if size < limit:
            return rng.choice(exts)
    return ".bin"


def base_name(rng, ext):
    r = rng.random()
    if ext.lower() in (".jpg", ".png", ".gif", ".tif") and r < 0.6:
        return rng.choice(["IMG_%04d", "DSC%05d", "Screenshot %d", "photo_%d"]) % rng.randrange(1, 9999)
    if r < 0.02:
        return rng.choice(UNICODE_WORDS) + ("" if rng.random() < 0.5 else " %d" % rng.randrange(100))
    words = [rng.choice(WORDS) for _ in range(rng.choice((1, 1, 2, 2, 3)))]
    sep = " " if rng.random() < 0.08 else rng.choice(("_", "-", "", "_"))
    s = sep.join(words)
    if rng.random() < 0.45:
        s += sep + str(rng.randrange(1, 2025))
    if rng.random() < 0.1:
        s = s.capitalize()
    return s


def file_name(rng, size):
    r = rng.random()
    if r < 0.05:
        return rng.choice(COMMON_NAMES)
    if r < 0.065:
        return rng.choice(HIDDEN_FILES)
    ext = ext_for(rng, size)
    name = base_name(rng, ext) + ext
    if r < 0.08:
        name = "." + name  # hidden file
    return name


def copy_name(rng, name):
    base, ext = split_ext(name)
    r = rng.random()
    if r < 0.3:
        return "%s (%d)%s" % (base, rng.randrange(1, 4), ext)
    if r < 0.5:
        return "Copy of " + name
    if r < 0.65:
        return base + " - Copy" + ext
    if r < 0.8:
        return base + "_backup" + ext
    if r < 0.9:
        return name + ".bak"
    return base + "_old" + ext


def case_variant(rng, name):
    base, ext = split_ext(name)
    r = rng.random()
    if r < 0.4 and ext:
        return base + (ext.lower() if ext != ext.lower() else ext.upper())
    if r < 0.7:
        return name.upper()
    return name.lower() if name != name.lower() else name.capitalize()


def dir_name(rng, depth):
    r = rng.random()
    if r < 0.03:
        return rng.choice(HIDDEN_DIRS)
    if r < 0.04:
        return rng.choice(UNICODE_WORDS)
    if r < 0.10:
        return "%s %s" % (rng.choice(DIR_WORDS), rng.choice(WORDS))
    if r < 0.55:
        return rng.choice(DIR_WORDS)
    if r < 0.75:
        return rng.choice(WORDS)
    return "%s_%d" % (rng.choice(WORDS), rng.randrange(1, 500))


# --------------------------------------------------------------------------- model


class Tree:
    def __init__(self):
        self.dir_path = [""]  # index -> relative path ('' is the root)
        self.dir_depth = [0]
        self.dir_parent = [-1]
        self.dir_children = [[]]
        self.taken = [set()]  # exact names (files and folders) in each folder
        self.dir_lower = [set()]  # folder names, case-folded, in each folder
        self.files = []  # (dir index, name, content index)
        self.dir_files = [[]]  # file indexes per folder

    def add_dir(self, rng, parent, name=None):
        depth = self.dir_depth[parent] + 1
        if name is None:
            name = dir_name(rng, depth)
            for _ in range(5):  # prefer another name to a numbered one
                if name.lower() not in self.dir_lower[parent]:
                    break
                name = dir_name(rng, depth)
        cand, n = name, 2
        # Folder names are unique ignoring case, and never equal a file name.
        while cand.lower() in self.dir_lower[parent] or cand in self.taken[parent]:
            cand = "%s %d" % (name, n)
            n += 1
        self.dir_lower[parent].add(cand.lower())
        self.taken[parent].add(cand)
        idx = len(self.dir_path)
        parent_path = self.dir_path[parent]
        self.dir_path.append(cand if not parent_path else parent_path + "/" + cand)
        self.dir_depth.append(depth)
        self.dir_parent.append(parent)
        self.dir_children.append([])
        self.dir_children[parent].append(idx)
        self.taken.append(set())
        self.dir_lower.append(set())
        self.dir_files.append([])
        return idx

    def add_file(self, d, name, content):
        taken = self.taken[d]
        cand, n = name, 2
        while cand in taken:
            base, ext = split_ext(name)
            cand = "%s %d%s" % (base, n, ext)
            n += 1
        taken.add(cand)
        self.files.append((d, cand, content))
        self.dir_files[d].append(len(self.files) - 1)
        return len(self.files) - 1


def build_dirs(rng, tree, n_dirs):
    """Grow a folder tree; return the folders of the one very deep chain."""
    for _ in range(max(8, min(30, n_dirs // 150))):
        tree.add_dir(rng, 0)
    recent = []
    while len(tree.dir_path) < n_dirs:
        if recent and rng.random() < 0.12:
            parent = rng.choice(recent[-20:])  # grow a recent branch deeper
        else:
            parent = rng.randrange(1, len(tree.dir_path))
            while tree.dir_depth[parent] > 2 and rng.random() < 0.3:
                parent = tree.dir_parent[parent]  # favour shallow folders
        if tree.dir_depth[parent] >= 14:
            parent = tree.dir_parent[parent]
        recent.append(tree.add_dir(rng, parent))
    # One deep chain, as left behind by nested build folders or archives.
    chain = [tree.add_dir(rng, rng.randrange(1, len(tree.dir_path)), "deep")]
    for i in range(24):
        chain.append(tree.add_dir(rng, chain[-1], "level%02d" % i))
    return chain


def sample_counts(n):
    n_empty = max(2, round(n * 0.01))
    n_var = max(4, round(n * 0.012))
    n_distr = max(2, round(n * 0.01))
    n_edge = 2 * max(2, min(len(NON_ASCII_CASE_PAIRS), n // 5000)) + 2 * max(2, n // 5000)
    n_extra = round(n * 0.12)
    n_norm = n - n_empty - n_var - n_distr - n_edge - n_extra
    if n_norm < n * 0.5:
        raise SystemExit("gen_tree: --files must be at least 200")
    return n_empty, n_var, n_distr, n_edge, n_extra, n_norm


class Content:
    """A distinct file content.

    kind 'n': pool bytes from off with a unique tag at offset 0.
    kind 'v': family member: family tag at 0, head and tail from the family's
              pool offset, middle [h, size - t) from the member's own offset
              with the member's tag at h.
    kind 't': tiny literal bytes.
    """

    __slots__ = ("cid", "kind", "raw", "size", "off", "fam", "foff", "h", "t", "data", "copies")

    def __init__(self, cid, kind, raw=0.0):
        self.cid, self.kind, self.raw = cid, kind, raw
        self.size = 0
        self.off = self.fam = self.foff = self.h = self.t = 0
        self.data = None
        self.copies = 1

    def full_key(self):
        if self.kind == "t":
            return "b:" + self.data.hex()
        return "c:%d" % self.cid

    def part_key(self):
        if self.kind == "v" and self.size >= PART_THRESHOLD:
            return "f:%d" % self.fam
        return self.full_key()


def pool_chunks(pool, off, length):
    """Yield memoryviews covering `length` bytes of the cyclic pool from `off`."""
    off %= POOL_SIZE
    while length > 0:
        n = min(length, POOL_SIZE - off)
        yield pool[off:off + n]
        length -= n
        off = 0


def segments(c):
    """(tag or None, pool offset, length) pieces making up content c."""
    tag0 = struct.pack("<Q", c.cid if c.kind == "n" else c.fam)
    if c.kind == "n":
        return [(tag0, c.off, c.size)]
    mid = c.size - c.h - c.t
    return [(tag0, c.foff, c.h), (struct.pack("<Q", c.cid), c.off, mid),
            (None, c.foff + c.size - c.t, c.t)]


def write_file(path, c, pool):
    with open(path, "wb", buffering=0) as f:
        if c.size == 0:
            return 0
        if c.kind == "t":
            return f.write(c.data)
        if c.size < SMALL_WRITE:
            parts = []
            for tag, off, length in segments(c):
                if tag is not None:
                    parts.append(tag)
                    off, length = off + 8, length - 8
                parts.extend(bytes(m) for m in pool_chunks(pool, off, length))
            return f.write(b"".join(parts))
        written = 0
        for tag, off, length in segments(c):
            if tag is not None:
                written += f.write(tag)
                off, length = off + 8, length - 8
            for m in pool_chunks(pool, off, length):
                while len(m):
                    k = f.write(m)
                    written += k
                    m = m[k:]
        return written


def scale_sizes(scalable, fixed_bytes, target, cap):
    """Find k so that sum(copies * clamp(round(raw * k), 1, cap)) + fixed ~= target."""
    def total(k):
        s = fixed_bytes
        for c in scalable:
            v = int(c.raw * k + 0.5)
            s += c.copies * (1 if v < 1 else cap if v > cap else v)
        return s

    lo, hi = 1e-9, 1.0
    while total(hi) < target and hi < 1e15:
        hi *= 4
    for _ in range(45):
        mid = math.sqrt(lo * hi)
        if total(mid) < target:
            lo = mid
        else:
            hi = mid
        if hi / lo < 1.0 + 1e-7:
            break
    k = hi
    for c in scalable:
        v = int(c.raw * k + 0.5)
        c.size = 1 if v < 1 else cap if v > cap else v
    return k


def generate(outdir, n_files, size_gb, seed, manifest_path, quiet):
    t0 = time.time()
    rng = random.Random(seed)
    target = int(size_gb * (1 << 30))
    n_empty, n_var, n_distr, n_edge, n_extra, n_norm = sample_counts(n_files)
    if target < n_files * 16:
        raise SystemExit("gen_tree: --size-gb too small for that many files")
    cap = max(1 << 20, target // 12)

    tree = Tree()
    chain = build_dirs(rng, tree, max(10, n_files // 22))
    n_dirs_base = len(tree.dir_path)
    # Folder weights: most folders hold a handful of files, a few hold thousands.
    weights = [rng.lognormvariate(0.0, 1.3) for _ in range(n_dirs_base)]
    for d in range(n_dirs_base):
        if "/." in "/" + tree.dir_path[d]:
            weights[d] *= 0.15
    for d in chain:
        weights[d] = 0.2
    for _ in range(max(1, n_dirs_base // 800)):
        d = rng.randrange(n_dirs_base)
        if "/." not in "/" + tree.dir_path[d] and d not in chain:  # hidden folders stay modest
            weights[d] *= 60
    cum = []
    acc = 0.0
    for w in weights:
        acc += w
        cum.append(acc)
    dir_range = range(n_dirs_base)

    def pick_dir():
        return rng.choices(dir_range, cum_weights=cum)[0]

    contents = []

    def new_content(kind, raw=0.0):
        c = Content(len(contents) + 1, kind, raw)  # tag 0 is never used
        contents.append(c)
        return c

    # Distinct contents: sizes log-normal, scaled to the target total later.
    n_jumbo = max(1, min(4, n_files // 20000))
    norm = [new_content("n", rng.lognormvariate(0.0, 2.3)) for _ in range(n_norm - n_jumbo)]
    n_norm -= n_jumbo
    # A few very large files (disk images, videos): one of them copied, one
    # with an unrelated twin of the same size.
    jumbos = []
    fixed = 0
    for _ in range(n_jumbo):
        c = new_content("n")
        c.size = min(cap, rng.randint(target // 60, target // 25))
        jumbos.append(c)
        fixed += c.size

    # Copies: mirrored sub-trees (about a quarter of the copies) and scattered
    # copies.  Decide multiplicities before scaling so the total comes out right.
    by_raw = sorted(norm, key=lambda c: c.raw)
    huge = set(id(c) for c in by_raw[-max(1, n_norm // 200):])
    scatter = [(jumbos[0], 1)]  # (content, count)
    fixed += jumbos[0].size
    extra_left = n_extra - n_extra // 4 - 1
    while extra_left > 0:
        c = norm[rng.randrange(n_norm)]
        r = rng.random()
        k = 1 if r < 0.7 else 2 if r < 0.86 else rng.randint(3, 5) if r < 0.96 else rng.randint(6, 20)
        if id(c) in huge:
            k = 1
        k = min(k, extra_left)
        scatter.append((c, k))
        c.copies += k
        extra_left -= k

    # Same-size distractors: other content, same size as a mid/large file.
    large = by_raw[len(by_raw) * 3 // 5:]
    distr = []
    if n_jumbo > 1:
        distr.append((new_content("n"), jumbos[-1]))
        fixed += jumbos[-1].size
    while len(distr) < n_distr:
        partner = rng.choice(large)
        d = new_content("n")
        distr.append((d, partner))
        partner.copies += 1  # d takes its size from partner after scaling

    # Head/tail families: fixed sizes, independent of the scaling.
    families = []
    left = n_var
    while left > 0:
        m = min(left, rng.choice((2, 2, 2, 3, 3, 4)))
        if left - m == 1:
            m += 1
        fam_id = len(contents) + 1
        new_content("n")  # reserve the family tag (never written)
        if rng.random() < 0.12:  # below the partial threshold: hashed whole
            size = rng.randint(2 * PART_EDGE + 64, PART_THRESHOLD - 1)
        else:
            size = int(rng.lognormvariate(math.log(30e3), 1.3))
            size = min(size, cap, max(PART_THRESHOLD, target // (10 * n_var)))
            size = max(PART_THRESHOLD, size)
        # Shared head h and tail t of 1024 bytes or more; the middle differs.
        edge_max = max(PART_EDGE, min(4 * PART_EDGE, (size - 16) // 3))
        h = rng.randint(PART_EDGE, edge_max)
        t = rng.randint(PART_EDGE, edge_max)
        foff = rng.randrange(POOL_SIZE)
        members = []
        for _ in range(m):
            v = new_content("v")
            v.size, v.fam, v.foff, v.h, v.t = size, fam_id, foff, h, t
            members.append(v)
        families.append(members)
        fixed += size * m
        left -= m

    # Edge pairs: equal size, different content, names equal only under ASCII
    # case folding (grouped by name) or only under non-ASCII folding (not grouped).
    n_pairs = n_edge // 2
    n_nonascii = max(2, min(len(NON_ASCII_CASE_PAIRS), n_files // 5000))
    edge = []
    for i in range(n_pairs):
        size = rng.randint(100, 200000)
        a, b = new_content("n"), new_content("n")
        a.size = b.size = size
        fixed += 2 * size
        if i < n_nonascii:
            na, nb = NON_ASCII_CASE_PAIRS[i]
        else:
            na = base_name(rng, ".jpg").capitalize() + ".JPG"
            nb = na.lower()
        edge.append((a, na, b, nb))

    # Mirrored sub-trees: pick folders whose files (recursively) fit the budget.
    # Their file counts are only known after placement, so reserve the budget
    # now and fill it after the files exist.
    mirror_budget = n_extra // 4

    # The mirrors copy about mirror_budget files of average size; leave room.
    scale_sizes(norm, fixed, int(target * (1 - mirror_budget / n_files)), cap)
    for d, partner in distr:
        d.size = partner.size
    # Tiny contents: literal bytes, some of them common texts (real trees hold
    # many identical one-line files).
    for c in contents:
        if c.kind == "n" and 0 < c.size <= TINY:
            c.kind = "t"
            if rng.random() < 0.35:
                c.data = rng.choice(TINY_TEXTS)
                c.size = len(c.data)
            else:
                c.data = rng.randbytes(c.size)
        elif c.kind in "nv":
            c.off = rng.randrange(POOL_SIZE)

    # ---- place files
    for c in norm:
        tree.add_file(pick_dir(), file_name(rng, c.size), c)
    for c in jumbos:
        tree.add_file(pick_dir(), file_name(rng, c.size), c)
    for d, partner in distr:
        tree.add_file(pick_dir(), file_name(rng, d.size), d)
    for members in families:
        base = base_name(rng, ".log")
        ext = rng.choice([".log", ".bin", ".dat", ".db", ".pdf", ".txt"])
        same_name = rng.random() < 0.3
        for i, v in enumerate(members):
            name = base + ext if same_name else "%s_%d%s" % (base, i + 1, ext)
            tree.add_file(pick_dir(), name, v)
    for a, na, b, nb in edge:
        tree.add_file(pick_dir(), na, a)
        tree.add_file(pick_dir(), nb, b)
    empty = Content(0, "n")
    for _ in range(n_empty):
        name = rng.choice(EMPTY_NAMES) if rng.random() < 0.4 else file_name(rng, 0)
        tree.add_file(pick_dir(), name, empty)

    # Mirrored sub-trees: copy a folder with its sub-folders to a backup place.
    def subtree(d):
        out, stack = [], [d]
        while stack:
            x = stack.pop()
            out.append(x)
            stack.extend(reversed(tree.dir_children[x]))
        return out

    backups = tree.add_dir(rng, 0, "Backups")
    mirrored_bytes = 0
    tries = 0
    while mirror_budget > 0 and tries < 2000:
        tries += 1
        src = rng.randrange(1, n_dirs_base)
        dirs = subtree(src)
        nfiles = sum(len(tree.dir_files[x]) for x in dirs)
        if nfiles == 0 or nfiles > mirror_budget or nfiles > 600:
            continue
        nbytes = sum(tree.files[f][2].size for x in dirs for f in tree.dir_files[x])
        if nbytes > target // 50:
            continue
        parent = backups if rng.random() < 0.6 else tree.dir_parent[src]
        label = tree.dir_path[src].rsplit("/", 1)[-1]
        top = tree.add_dir(rng, parent, label + rng.choice((" (copy)", " - backup", ".old", " 2019", "")))
        mapping = {src: top}
        for x in dirs:
            if x != src:
                mapping[x] = tree.add_dir(rng, mapping[tree.dir_parent[x]],
                                          tree.dir_path[x].rsplit("/", 1)[-1])
            for f in list(tree.dir_files[x]):
                _, name, c = tree.files[f]
                tree.add_file(mapping[x], name, c)
                mirrored_bytes += c.size
        mirror_budget -= nfiles
    # Whatever the mirrors did not use becomes scattered copies.
    while mirror_budget > 0:
        c = norm[rng.randrange(n_norm)]
        if id(c) not in huge:
            scatter.append((c, 1))
            mirror_budget -= 1

    # Scattered copies.  Copies of small files land anywhere; names are kept,
    # changed into "copy" names, letter-case variants, or fresh names.
    first = {}
    for d, name, c in tree.files:
        first.setdefault(id(c), (d, name))
    for c, k in scatter:
        home, orig_name = first[id(c)]
        for _ in range(k):
            d = pick_dir()
            r = rng.random()
            if d == home or r < 0.10:
                name = copy_name(rng, orig_name)
            elif r < 0.65:
                name = orig_name
            elif r < 0.80:
                name = copy_name(rng, orig_name)
            elif r < 0.88:
                name = case_variant(rng, orig_name)
            else:
                name = file_name(rng, c.size)
            tree.add_file(d, name, c)

    # ---- write
    pool = memoryview(random.Random(seed * 7919 + 17).randbytes(POOL_SIZE))
    os.makedirs(outdir, exist_ok=True)
    if os.listdir(outdir):
        raise SystemExit("gen_tree: %s is not empty" % outdir)
    for p in tree.dir_path[1:]:
        os.mkdir(os.path.join(outdir, p))
    t_plan = time.time() - t0
    total = 0
    order = sorted(range(len(tree.files)), key=lambda i: tree.files[i][0])
    for i in order:
        d, name, c = tree.files[i]
        rel = name if d == 0 else tree.dir_path[d] + "/" + name
        total += write_file(os.path.join(outdir, rel), c, pool)
    t_write = time.time() - t0 - t_plan

    # ---- expected groups
    groups = {"full": {}, "partial": {}, "name": {}}
    empties = []
    for d, name, c in tree.files:
        rel = name if d == 0 else tree.dir_path[d] + "/" + name
        groups["name"].setdefault("%d/%s" % (c.size, name_key(name)), []).append(rel)
        if c.size == 0:
            empties.append(rel)
            continue
        groups["full"].setdefault(c.full_key(), []).append(rel)
        groups["partial"].setdefault("%d/%s" % (c.size, c.part_key()), []).append(rel)
    expected = {m: sorted(sorted(g) for g in gs.values() if len(g) > 1) for m, gs in groups.items()}
    expected["empty"] = [sorted(empties)] if len(empties) > 1 else []

    sizes = {}
    for d, name, c in tree.files:
        sizes[c.size] = sizes.get(c.size, 0) + 1
    full_groups = [g for g in groups["full"].values() if len(g) > 1]
    c_by_key = {}
    for d, name, c in tree.files:
        if c.size:
            c_by_key.setdefault(c.full_key(), c.size)
    wasted = sum(c_by_key[k] * (len(g) - 1) for k, g in groups["full"].items() if len(g) > 1)
    file_sizes = sorted(c.size for _, _, c in tree.files)
    totals = {
        "files": len(tree.files),
        "dirs": len(tree.dir_path) - 1,
        "bytes": total,
        "max_depth": max(tree.dir_depth),
        "empty_files": len(empties),
        "hidden_files": sum(1 for d, n, _ in tree.files
                            if n.startswith(".") or "/." in "/" + tree.dir_path[d]),
        "median_size": file_sizes[len(file_sizes) // 2],
        "p99_size": file_sizes[len(file_sizes) * 99 // 100],
        "max_size": file_sizes[-1],
        "files_sharing_size": sum(v for s, v in sizes.items() if v > 1 and s > 0),
        "duplicate_bytes": wasted,
        "mirrored_bytes": mirrored_bytes,
        "plan_seconds": round(t_plan, 2),
        "write_seconds": round(t_write, 2),
    }
    for m in ("full", "partial", "name", "empty"):
        totals["%s_groups" % m] = len(expected[m])
        totals["%s_files" % m] = sum(len(g) for g in expected[m])
    assert totals["files"] == n_files, (totals["files"], n_files)

    if manifest_path:
        tmp = manifest_path + ".tmp"
        with open(tmp, "w", encoding="utf-8") as f:
            json.dump({"params": {"files": n_files, "size_gb": size_gb, "seed": seed,
                                  "root": os.path.abspath(outdir)},
                       "totals": totals, "groups": expected}, f, ensure_ascii=False)
        os.replace(tmp, manifest_path)

    if not quiet:
        gib = total / (1 << 30)
        print("tree        %s" % os.path.abspath(outdir))
        print("files       %d in %d folders (max depth %d), %d empty, %d hidden"
              % (totals["files"], totals["dirs"], totals["max_depth"], totals["empty_files"],
                 totals["hidden_files"]))
        print("bytes       %d (%.2f GiB); median %d, p99 %d, max %d"
              % (total, gib, totals["median_size"], totals["p99_size"], totals["max_size"]))
        print("duplicates  %d bytes reclaimable; %d non-empty files share their size"
              % (wasted, totals["files_sharing_size"]))
        print("expected    %-8s %-8s %s" % ("mode", "groups", "files in groups"))
        for m in ("full", "partial", "name", "empty"):
            print("            %-8s %-8d %d" % (m, totals["%s_groups" % m], totals["%s_files" % m]))
        print("time        %.1f s (plan %.1f s, write %.1f s, %.0f MiB/s)"
              % (time.time() - t0, t_plan, t_write, total / (1 << 20) / max(t_write, 1e-6)))
        if manifest_path:
            print("manifest    %s" % manifest_path)
    return totals


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("outdir", help="folder to create (must be missing or empty)")
    ap.add_argument("--files", type=int, default=100000, help="number of files (default 100000)")
    ap.add_argument("--size-gb", type=float, default=2.5,
                    help="total size in GiB (2^30 bytes; default 2.5)")
    ap.add_argument("--seed", type=int, default=1, help="random seed (default 1)")
    ap.add_argument("--manifest", help="write the expected groups per mode to this JSON file "
                                       "(keep it outside OUTDIR)")
    ap.add_argument("--quiet", action="store_true", help="print nothing on success")
    a = ap.parse_args(argv)
    if a.files < 200:
        ap.error("--files must be at least 200")
    if not a.size_gb > 0:
        ap.error("--size-gb must be positive")
    if a.manifest:
        out = os.path.abspath(a.outdir) + os.sep
        if os.path.abspath(a.manifest).startswith(out):
            ap.error("--manifest must be outside OUTDIR")
    if os.path.exists(a.outdir) and (not os.path.isdir(a.outdir) or os.listdir(a.outdir)):
        ap.error("%s exists and is not an empty folder" % a.outdir)
    try:
        generate(a.outdir, a.files, a.size_gb, a.seed, a.manifest, a.quiet)
    except OSError as e:
        sys.exit("gen_tree: %s" % e)


if __name__ == "__main__":
    main()
