#!/usr/bin/env bash
# tools/win-icons.sh - draws res/win/*.ico (the Windows build's icons) from
# res/icons/*.svg with the Linux build's icon drawer (build/bin/pelkoran_icon_png).
# The .ico files are kept in the tree, so the cross build needs no SVG renderer.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
drawer=${1:-$root/build/bin/pelkoran_icon_png}
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
export QT_QPA_PLATFORM=offscreen
for name in pelkoran folder file delete; do
    "$drawer" "$root/res/icons/$name.svg" "$tmp/$name" 16 20 24 32 48 256
    python3 - "$tmp/$name" "$root/res/win/$name.ico" <<'PY'
import struct, sys, os
src, out = sys.argv[1], sys.argv[2]
sizes = [16, 20, 24, 32, 48, 256]
pngs = [open(os.path.join(src, f"{s}x{s}", "apps", "pelkoran.png"), "rb").read() for s in sizes]
head = struct.pack("<HHH", 0, 1, len(sizes))
offset = 6 + 16 * len(sizes)
entries, data = b"", b""
for s, png in zip(sizes, pngs):
    entries += struct.pack("<BBBBHHII", s % 256, s % 256, 0, 0, 1, 32, len(png), offset + len(data))
    data += png
open(out, "wb").write(head + entries + data)
PY
done
