#!/usr/bin/env bash
# package_test.sh BUILD_DIR - the zip holds both programs, the engine DLL and
# its header, and the README; the
# installer, run silently under Wine in a prefix of its own, puts the
# programs in Program Files with a Start-menu and a Send To entry, and its
# uninstaller takes all of it away again.
set -euo pipefail
build=$1
root=$(cd "$(dirname "$0")/../.." && pwd)
PELKORAN_PACKAGE_NO_BUILD=1 "$root/tools/win-package.sh" "$build" >/dev/null
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
name=pelkoran-$version-windows-x64
fail() { echo "FAIL: $*" >&2; exit 1; }

listing=$(python3 -c 'import sys, zipfile; print("\n".join(sorted(zipfile.ZipFile(sys.argv[1]).namelist())))' \
    "$build/package/$name.zip")
for f in pelkoran.exe pelkoran-cli.exe pelkoran-lzh.dll pelkoran_lzh.h README-windows.txt; do
    grep -qx "$name/$f" <<<"$listing" || fail "$f is not in the zip: $listing"
done
for f in pelkoran.exe pelkoran-cli.exe pelkoran-lzh.dll; do
    x86_64-w64-mingw32-objdump -p "$build/package/$name/$f" | grep 'DLL Name' |
        grep -qiE 'libstdc|libgcc|libwinpthread' && fail "$f needs a MinGW DLL"
done

export WINEPREFIX=$build/wineprefix-install WINEDEBUG=-all LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
rm -rf "$WINEPREFIX"
wine "$build/package/$name-setup.exe" /S >/dev/null 2>&1
wineserver -w
c=$WINEPREFIX/drive_c
for f in pelkoran.exe pelkoran-cli.exe pelkoran-lzh.dll; do
    [ -f "$c/Program Files/Pelkoran/$f" ] || fail "$f was not installed"
done
[ -f "$c/ProgramData/Microsoft/Windows/Start Menu/Programs/Pelkoran.lnk" ] || fail "no Start-menu entry"
sendto=$(find "$c/users" -path '*SendTo/Pelkoran.lnk' | head -1)
[ -n "$sendto" ] || fail "no Send To entry"

wine 'C:\Program Files\Pelkoran\uninstall.exe' /S >/dev/null 2>&1
wineserver -w
sleep 1; wineserver -w
for f in pelkoran.exe pelkoran-cli.exe pelkoran-lzh.dll; do
    [ ! -e "$c/Program Files/Pelkoran/$f" ] || fail "the uninstaller left $f"
done
[ ! -e "$sendto" ] || fail "the uninstaller left the Send To entry"
[ ! -e "$c/ProgramData/Microsoft/Windows/Start Menu/Programs/Pelkoran.lnk" ] || fail "the uninstaller left the Start-menu entry"
rm -rf "$WINEPREFIX"
echo "package: zip and installer pass"
