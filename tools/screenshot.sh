#!/usr/bin/env bash
# tools/screenshot.sh - redraw docs/screenshot.png (and screenshot-en.png, in English): the main window, offscreen.
#
# Usage: tools/screenshot.sh [BUILD_DIR]   (default: build; configured when missing)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-build}
case $build in /*) ;; *) build=$root/$build ;; esac
[ -f "$build/CMakeCache.txt" ] ||
    cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$(nproc)" --target pelkoran_screenshot
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-/tmp/runtime-$(id -u)}
mkdir -p -m 700 "$XDG_RUNTIME_DIR"
mkdir -p "$root/docs"
QT_QPA_PLATFORM=offscreen "$build/bin/pelkoran_screenshot" "$root/docs/screenshot.png"
QT_QPA_PLATFORM=offscreen "$build/bin/pelkoran_screenshot" "$root/docs/screenshot-en.png" --english
echo "wrote $root/docs/screenshot.png and $root/docs/screenshot-en.png"
