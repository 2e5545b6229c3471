#!/usr/bin/env python3
"""Generate a seeded tree of mixed files for the backup benchmark.

    backup_bench_tree.py OUTDIR [--size-gb 1.0] [--seed 1]

About half of the bytes are text (words and numbers, which deflate shrinks to a
third or less) and half random bytes (which do not shrink), in files whose sizes
spread from a few hundred bytes to a few tens of megabytes, in nested folders.
The same seed and size always give the same tree.
"""

import argparse
import os
import random
import sys

WORDS = ("report budget invoice notes draft final summary meeting agenda plan project "
         "alpha beta gamma delta data export import backup archive photo image scan "
         "holiday trip family music song album track video movie lecture course paper "
         "letter contract offer receipt tax bank statement config settings cache build "
         "release debug test sample example readme changelog todo main utils helper core "
         "model view controller server client index style script module package").split()


def text_pool(rng, size):
    lines = []
    total = 0
    while total < size:
        line = " ".join(rng.choice(WORDS) for _ in range(rng.randrange(4, 14)))
        line += " %d.%02d\n" % (rng.randrange(100000), rng.randrange(100))
        lines.append(line)
        total += len(line)
    return "".join(lines).encode()[:size]


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("outdir")
    ap.add_argument("--size-gb", type=float, default=1.0)
    ap.add_argument("--seed", type=int, default=1)
    args = ap.parse_args()
    if os.path.exists(args.outdir) and os.listdir(args.outdir):
        sys.exit("outdir must be missing or empty")
    rng = random.Random(args.seed)
    pool_size = 32 << 20
    pools = {"text": text_pool(rng, pool_size), "random": rng.randbytes(pool_size)}
    target = int(args.size_gb * (1 << 30))
    folders = [args.outdir]
    written = 0
    count = 0
    while written < target:
        if rng.random() < 0.08 or len(folders) == 1:
            parent = rng.choice(folders)
            folder = os.path.join(parent, "%s-%d" % (rng.choice(WORDS), len(folders)))
            os.makedirs(folder, exist_ok=True)
            folders.append(folder)
        kind = "text" if rng.random() < 0.5 else "random"
        size = min(int(rng.lognormvariate(11.5, 2.0)), 48 << 20, target - written)
        start = rng.randrange(0, pool_size - size) if size < pool_size else 0
        body = pools[kind][start:start + size]
        name = "%s-%d.%s" % (rng.choice(WORDS), count, "txt" if kind == "text" else "bin")
        with open(os.path.join(rng.choice(folders), name), "wb") as out:
            out.write(b"%08d" % count + body[8:])
        written += size
        count += 1
    print("%d files, %d bytes, %d folders" % (count, written, len(folders)))


if __name__ == "__main__":
    main()
