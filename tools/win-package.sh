#!/usr/bin/env bash
# tools/win-package.sh - what a Windows user is handed:
#   BUILD_DIR/package/pelkoran-VERSION-windows-x64.zip    both programs, the engine DLL with
#                                                         its C header, and the README
#   BUILD_DIR/package/pelkoran-VERSION-windows-x64-setup.exe
#       the installer (NSIS): Program Files, a Start-menu entry, a Send To (送る) entry
#
# Usage: tools/win-package.sh [BUILD_DIR]   (default: build-win; built first)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build-win}
case $build in /*) ;; *) build=$root/$build ;; esac
[ -f "$build/CMakeCache.txt" ] || cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" >/dev/null
[ -n "${PELKORAN_PACKAGE_NO_BUILD:-}" ] || cmake --build "$build" -j"$(nproc)"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
name=pelkoran-$version-windows-x64
out=$build/package
stage=$out/$name
rm -rf "$stage"; mkdir -p "$stage"
for bin in pelkoran.exe pelkoran-cli.exe pelkoran-lzh.dll; do
    cp "$build/bin/$bin" "$stage/"
    x86_64-w64-mingw32-strip "$stage/$bin"
done
# The C header for programs that drive the engine's DLL with command texts.
cp "$root/src/windll/pelkoran_lzh.h" "$stage/"
# The README in CR LF, for Notepad.
sed 's/$/\r/' "$root/res/win/package/README-windows.txt" > "$stage/README-windows.txt"
rm -f "$out/$name.zip"
(cd "$out" && cmake -E tar cf "$name.zip" --format=zip "$name")
cp "$root/res/win/pelkoran.ico" "$out/pelkoran.ico"
makensis -V2 -DVERSION="$version" -DBIN="$stage" -DOUTFILE="$out/$name-setup.exe" \
    "$root/res/win/package/pelkoran.nsi"
echo "wrote $out/$name.zip"
echo "wrote $out/$name-setup.exe"
