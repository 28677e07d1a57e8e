#!/usr/bin/env bash
# tools/win-screenshot.sh - redraw docs/screenshot-windows.png: the Windows
# window under Wine, on a virtual display with openbox drawing the title bar.
#
# Usage: tools/win-screenshot.sh [BUILD_DIR] [en]   (default: build-win, Japanese)
# With "en" the window is drawn on an English desktop, into
# docs/screenshot-windows-en.png.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build-win}
[ -f "$build/CMakeCache.txt" ] || cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" >/dev/null
cmake --build "$build" -j"$(nproc)" --target pelkoran_screenshot
locale=ja_JP.UTF-8 out=$root/docs/screenshot-windows.png
[ "${2:-}" = en ] && locale=C.UTF-8 out=$root/docs/screenshot-windows-en.png
export WINEPREFIX=$build/wineprefix-display WINEDEBUG=-all LANG=$locale LC_ALL=$locale
wine cmd /c exit >/dev/null 2>&1 || true   # creates the prefix
# The dialog's font, ＭＳ Ｐゴシック, is Windows' own; here IPA's proportional
# Gothic (fonts-ipafont-gothic) stands in for it.
for face in "ＭＳ Ｐゴシック" "MS PGothic" "MS UI Gothic"; do
    wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" /d "IPAPGothic" /f >/dev/null 2>&1
done
# The items live on the prefix's drive C:, so the list shows C:\ paths.
work=$WINEPREFIX/drive_c/pelkoran-screenshot
items=$WINEPREFIX/drive_c/仕事
rm -rf "$work" "$items"; trap 'rm -rf "$work" "$items"' EXIT
mkdir -p "$work" "$items/写真 2024" "$items/資料"
printf 'x' > "$items/見積書.xlsx"; printf 'x' > "$items/memo.txt"; printf 'x' > "$items/表紙.doc"
w() { printf 'C:%s' "$(printf '%s' "${1#$WINEPREFIX/drive_c}" | tr / '\\')"; }
xvfb-run -a -s "-screen 0 800x600x24" bash -c '
    openbox >/dev/null 2>&1 & sleep 1
    wine "$@"' _ "$build/bin/pelkoran_screenshot.exe" "$(w "$work/shot.bmp")" \
    "$(w "$items/写真 2024")" "$(w "$items/資料")" "$(w "$items/見積書.xlsx")" \
    "$(w "$items/memo.txt")" "$(w "$items/表紙.doc")"
python3 - "$work/shot.bmp" "$out" <<'PY'
import struct, sys, zlib
data = open(sys.argv[1], "rb").read()
offset = struct.unpack_from("<I", data, 10)[0]
w, h, _, bpp = struct.unpack_from("<iiHH", data, 18)
stride = (w * 3 + 3) & ~3
rows = []
for y in range(h - 1, -1, -1):
    row = data[offset + y * stride: offset + y * stride + w * 3]
    rgb = bytearray(w * 3)
    rgb[0::3], rgb[1::3], rgb[2::3] = row[2::3], row[1::3], row[0::3]
    rows.append(b"\0" + bytes(rgb))
def chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0))
png += chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b"")
open(sys.argv[2], "wb").write(png)
PY
echo "wrote $out"
