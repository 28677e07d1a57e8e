#!/usr/bin/env python3
"""pelkoran-cli.exe under Wine packs a tree; lhasa, bsdtar, 7z and jlha extract it.

Usage: wine_interop.py PELKORAN-CLI.EXE WORK-DIR

The tree holds Japanese names (ソ 表 能 十 end in a 0x5C byte in CP932), a
name CP932 cannot hold (stored in UTF-8), nested and empty directories, a
file of a few MB and a link to a directory outside it, which must be left
out and reported. It is packed with each method and effort, and every
extracted tree is compared with the source: names, kinds, bytes and
modification times, each reader taken as it is known to read LZH on Linux.
"""
import os
import random
import shutil
import subprocess
import sys

cli, work = sys.argv[1], os.path.abspath(sys.argv[2])
shutil.rmtree(work, ignore_errors=True)
src = os.path.join(work, "src")

BASE_TIME = 1614834368   # 2021-03-04 05:06:08 UTC


def make_tree():
    rng = random.Random(14)
    words = [b"lzh", b"Pelkoran", b"\xe5\x9c\xa7\xe7\xb8\xae", b"archive", b"0123456789", b"\n"]
    big = bytearray()
    while len(big) < 3 << 20:   # text-like and random runs: every coder path is used
        if rng.random() < 0.1:
            big += rng.randbytes(rng.randint(1, 2000))
        else:
            big += b" ".join(rng.choice(words) for _ in range(rng.randint(1, 40)))
    files = {
        "ソ表能十.txt": "ソ 表 能 十 ends in 0x5C\n".encode(),
        "日本語/十字路/能力.txt": b"nested\n",
        "日本語/十字路/空/": None,
        "日本語/表計算.csv": b"a,b\n1,2\n",
        "empty-dir/": None,
        "empty.bin": b"",
        "big/large.bin": bytes(big),
        "絵文字😀.txt": b"not in CP932: stored as UTF-8\n",
        "ascii.txt": b"plain\n" * 100,
    }
    for rel, data in files.items():
        path = os.path.join(src, rel)
        if data is None:
            os.makedirs(path, exist_ok=True)
        else:
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(data)
    # A link to a directory outside the tree (Wine shows it as a directory
    # reparse point): never followed, left out and reported.
    outside = os.path.join(work, "outside")
    os.makedirs(outside)
    with open(os.path.join(outside, "secret.txt"), "wb") as f:
        f.write(b"outside the item\n")
    os.symlink("../outside", os.path.join(src, "リンク"))
    # Times last, deepest first, so creating an entry changes no time already set.
    paths = [os.path.join(d, n) for d, dirs, fs in os.walk(src) for n in dirs + fs
             if not os.path.islink(os.path.join(d, n))] + [src]
    for i, p in enumerate(sorted(paths, key=lambda p: -p.count("/"))):
        t = BASE_TIME + 86400 * i + 2 * i
        os.utime(p, (t, t), follow_symlinks=False)


def scan(top):
    """{relative path (bytes): (kind, data, mtime)} of everything below `top`."""
    tree = {}
    top_b = os.fsencode(top)
    for d, dirs, files in os.walk(top_b):
        for n in dirs + files:
            p = os.path.join(d, n)
            if os.path.islink(p):
                continue   # the source's link, left out of every archive
            st = os.lstat(p)
            rel = os.path.relpath(p, top_b)
            if os.path.isdir(p):
                tree[rel] = ("d", b"", int(st.st_mtime))
            else:
                with open(p, "rb") as f:
                    tree[rel] = ("f", f.read(), int(st.st_mtime))
    return tree


def cp932_ok(name):
    try:
        name.encode("cp932")
        return True
    except UnicodeEncodeError:
        return False


def expected_path(reader, rel):
    """What `reader` names the extracted `rel` (str), or None: found by contents."""
    non_ascii = any(ord(c) > 127 for c in rel)
    if not non_ascii:
        return rel.encode()
    if not cp932_ok(rel):
        return None if reader == "jlha" else rel.encode()   # jlha reads UTF-8 as Shift-JIS
    if reader == "lhasa":
        return rel.encode("cp932")   # raw CP932 bytes on Linux
    if reader == "7z":
        # Raw CP932 bytes, split at every 0x5C byte (ソ 表 能 十) into directories.
        parts = [p for p in rel.encode("cp932").replace(b"\\", b"/").split(b"/") if p]
        return b"/".join(parts)
    return rel.encode()


# The command line of each reader ({a}: the archive, {d}: where to extract), and
# whether it restores modification times.
READERS = {
    "lhasa": (["lhasa", "xf", "{a}"], True),
    "bsdtar": (["bsdtar", "-xf", "{a}", "-C", "{d}"], True),
    "7z": (["7z", "x", "-y", "-o{d}", "{a}"], True),
    "jlha": (["jlha", "xy", "{a}"], False),   # 'y': names read as Shift-JIS
}


def extract(reader, archive, into):
    os.makedirs(into)
    args = [a.format(a=archive, d=into) for a in READERS[reader][0]]
    r = subprocess.run(args, cwd=into, stdin=subprocess.DEVNULL, capture_output=True)
    if r.returncode != 0:
        raise AssertionError(f"{reader} failed on {archive}: {r.stdout!r} {r.stderr!r}")


def compare(reader, source, got_top, failures):
    got = scan(got_top)
    restores = READERS[reader][1]
    by_contents = []
    seen = set()
    for rel_b, (kind, data, mtime) in source.items():
        rel = "src/" + os.fsdecode(rel_b)
        want = expected_path(reader, rel)
        if want is None:
            by_contents.append((rel, kind, data))
            continue
        parts = want.split(b"/")
        for k in range(1, len(parts)):
            seen.add(b"/".join(parts[:k]))   # parents a split name creates
        seen.add(want)
        if want not in got:
            failures.append(f"{reader}: missing {rel} (as {want!r})")
            continue
        g = got[want]
        if g[0] != kind:
            failures.append(f"{reader}: {rel} is {g[0]}, not {kind}")
        elif kind == "f" and g[1] != data:
            failures.append(f"{reader}: contents of {rel} differ")
        elif restores and g[2] != mtime:
            failures.append(f"{reader}: mtime of {rel}: {g[2]} != {mtime}")
    left = {k: v for k, v in got.items() if k not in seen and k != b"src"}
    for rel, kind, data in by_contents:
        match = next((k for k, v in left.items() if v[0] == kind and v[1] == data), None)
        if match is None:
            failures.append(f"{reader}: nothing with the contents of {rel}")
        else:
            del left[match]
    for k in left:
        failures.append(f"{reader}: unexpected {k!r}")


def main():
    make_tree()
    source = scan(src)
    src_time = int(os.lstat(src).st_mtime)
    failures = []
    matrix = []
    for method in ("lh5", "lh6", "lh7"):
        for effort in ("fast", "normal", "best"):
            name = f"{method}-{effort}.lzh"
            archive = os.path.join(work, name)
            win_archive = "Z:" + archive.replace("/", "\\")
            win_base = "Z:" + work.replace("/", "\\") + "\\"
            command = f'a "{win_archive}" "{win_base}" -d1 -{method} -{effort} "src"'
            r = subprocess.run(["wine", cli, "command", command], stdin=subprocess.DEVNULL, capture_output=True)
            if r.returncode != 0:
                failures.append(f"{name}: pelkoran-cli.exe exited {r.returncode}: {r.stdout!r} {r.stderr!r}")
                continue
            if "リンク" not in r.stderr.decode(errors="replace"):
                failures.append(f"{name}: the link left out is not reported: {r.stderr!r}")
            row = [name, str(os.path.getsize(archive))]
            for reader in READERS:
                into = os.path.join(work, f"{method}-{effort}-{reader}")
                before = len(failures)
                try:
                    extract(reader, archive, into)
                    compare(reader, source, into, failures)
                    top = os.path.join(into, "src")
                    if READERS[reader][1] and int(os.lstat(top).st_mtime) != src_time:
                        failures.append(f"{reader}: mtime of src")
                except AssertionError as e:
                    failures.append(str(e))
                row.append("ok" if len(failures) == before else "FAIL")
                shutil.rmtree(into, ignore_errors=True)
            matrix.append(row)
    print("archive            bytes     " + "  ".join(f"{r:6}" for r in READERS))
    for row in matrix:
        print(f"{row[0]:16} {row[1]:>9}   " + "  ".join(f"{c:6}" for c in row[2:]))
    for f in failures:
        print("FAIL", f)
    if not failures:
        shutil.rmtree(work, ignore_errors=True)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
