#!/usr/bin/env bash
# install_test.sh - `cmake --install` into a temporary prefix, then every
# installed file checked: the programs run, the icon has its sizes, the
# metainfo validates, the manual pages render, the completion completes,
# and the file managers' entries run `pelkoran` and `pelkoran --pack`.
#
# Usage: install_test.sh BUILD_DIR SOURCE_DIR
set -uo pipefail
build=$1
source_dir=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
prefix=$tmp/usr
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

if ! cmake --install "$build" --prefix "$prefix" >"$tmp/install.log" 2>&1; then
    cat "$tmp/install.log"
    echo "FAIL: cmake --install"
    exit 1
fi
share=$prefix/share

# Every file where the desktop looks for it.
expected=(
    bin/pelkoran bin/pelkoran-cli
    share/applications/pelkoran.desktop
    share/metainfo/invalid.example.pelkoran.metainfo.xml
    share/icons/hicolor/scalable/apps/pelkoran.svg
    share/man/man1/pelkoran.1 share/man/man1/pelkoran-cli.1
    share/man/ja/man1/pelkoran.1 share/man/ja/man1/pelkoran-cli.1
    share/bash-completion/completions/pelkoran-cli
    share/kio/servicemenus/pelkoran-servicemenu.desktop
    share/nemo/actions/pelkoran-add.nemo_action share/nemo/actions/pelkoran-pack.nemo_action
    share/file-manager/actions/pelkoran-add.desktop share/file-manager/actions/pelkoran-pack.desktop
    "share/pelkoran/scripts/Pelkoran に追加" "share/pelkoran/scripts/LZH 書庫にする"
)
sizes=(16 22 24 32 48 64 128 256)
for size in "${sizes[@]}"; do expected+=("share/icons/hicolor/${size}x${size}/apps/pelkoran.png"); done
for file in "${expected[@]}"; do
    [ -f "$prefix/$file" ] || fail "not installed: $file"
done
for file in bin/pelkoran bin/pelkoran-cli share/kio/servicemenus/pelkoran-servicemenu.desktop \
    "share/pelkoran/scripts/Pelkoran に追加" "share/pelkoran/scripts/LZH 書庫にする"; do
    [ -x "$prefix/$file" ] || fail "not executable: $file"
done

# The programs run from the prefix; the window's usage needs no display.
"$prefix/bin/pelkoran-cli" --help >/dev/null || fail "pelkoran-cli --help"
usage=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$prefix/bin/pelkoran" --help) ||
    fail "pelkoran --help"
[[ $usage == *"pelkoran --pack PATH..."* ]] || fail "pelkoran --help does not name --pack: $usage"

# The PNGs: PNG files of their size (width and height in the IHDR chunk).
for size in "${sizes[@]}"; do
    png=$share/icons/hicolor/${size}x${size}/apps/pelkoran.png
    [ -f "$png" ] || continue
    header=$(od -An -tx1 -N24 "$png" | tr -d ' \n')
    want=$(printf '89504e470d0a1a0a0000000d49484452%08x%08x' "$size" "$size")
    [ "$header" = "$want" ] || fail "$png: not a ${size}x${size} PNG ($header)"
done

# AppStream: the metainfo validates, and launches the installed desktop entry.
meta=$share/metainfo/invalid.example.pelkoran.metainfo.xml
if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net "$meta" >"$tmp/appstream.log" 2>&1 ||
        { cat "$tmp/appstream.log"; fail "appstreamcli validate"; }
else
    fail "appstreamcli is missing (package appstream)"
fi
grep -q '<launchable type="desktop-id">pelkoran.desktop</launchable>' "$meta" || fail "metainfo: launchable"

# Manual pages: the English ones render without a single warning; the
# Japanese ones without any but the line breaks Japanese text has no blanks for.
for page in "$share"/man/man1/*.1; do
    out=$(groff -k -man -Tutf8 -ww -z "$page" 2>&1)
    [ -z "$out" ] || fail "$page: $out"
done
for page in "$share"/man/ja/man1/*.1; do
    out=$(groff -k -man -Tutf8 -ww -z "$page" 2>&1 | grep -v -e "can't break line" -e 'cannot adjust line')
    [ -z "$out" ] || fail "$page: $out"
    groff -k -man -Tutf8 "$page" 2>/dev/null | grep -q 'LZH' || fail "$page renders no text"
done

# The file managers' entries: "Pelkoran に追加" runs pelkoran with the
# paths, "LZH 書庫にする" pelkoran --pack.
for file in share/kio/servicemenus/pelkoran-servicemenu.desktop share/nemo/actions/pelkoran-add.nemo_action \
    share/file-manager/actions/pelkoran-add.desktop; do
    grep -qx 'Name\[ja\]=Pelkoran に追加' "$prefix/$file" || fail "$file: no entry Pelkoran に追加"
    grep -qx 'Exec=pelkoran -- %F' "$prefix/$file" || fail "$file: does not run pelkoran -- %F"
done
for file in share/kio/servicemenus/pelkoran-servicemenu.desktop share/nemo/actions/pelkoran-pack.nemo_action \
    share/file-manager/actions/pelkoran-pack.desktop; do
    grep -qx 'Name\[ja\]=LZH 書庫にする' "$prefix/$file" || fail "$file: no entry LZH 書庫にする"
    grep -qx 'Exec=pelkoran --pack -- %F' "$prefix/$file" || fail "$file: does not run pelkoran --pack -- %F"
done
grep -qx 'Exec=pelkoran %F' "$share/applications/pelkoran.desktop" || fail "pelkoran.desktop: Exec"

# The scripts, run as a file manager runs them (in the items' folder, the
# names as arguments), hand pelkoran absolute paths, even for a name that
# looks like an option.
mkdir -p "$tmp/fake" "$tmp/items"
printf '#!/bin/sh\nfor a in "$@"; do printf "%%s\\n" "$a"; done\n' >"$tmp/fake/pelkoran"
chmod +x "$tmp/fake/pelkoran"
got=$(cd "$tmp/items" && PATH=$tmp/fake:$PATH "$share/pelkoran/scripts/LZH 書庫にする" a.txt "-reverse" "/x/b c")
[ "$got" = "$(printf '%s\n' --pack -- "$tmp/items/a.txt" "$tmp/items/-reverse" "/x/b c")" ] ||
    fail "LZH 書庫にする passes: $got"
got=$(cd "$tmp/items" && PATH=$tmp/fake:$PATH "$share/pelkoran/scripts/Pelkoran に追加" "写真")
[ "$got" = "$(printf '%s\n' -- "$tmp/items/写真")" ] || fail "Pelkoran に追加 passes: $got"

# Bash completion, as bash calls it: the words, the index, the reply.
mkdir -p "$tmp/c/sub dir" "$tmp/c/other"
touch "$tmp/c/a.lzh" "$tmp/c/B.LHA" "$tmp/c/c.txt" "$tmp/c/--odd"
complete_words() {  # WORD... : prints the sorted replies for the last word
    (cd "$tmp/c" && bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1));
        _pelkoran_cli; for r in "${COMPREPLY[@]}"; do printf "%s\n" "$r"; done | sort' _ \
        "$share/bash-completion/completions/pelkoran-cli" "$@")
}
check_completion() {  # EXPECTED WORD...
    local want=$1
    shift
    local got
    got=$(complete_words "$@" | tr '\n' ' ')
    [ "$got" = "$want" ] || fail "completion of '$*': got '$got', want '$want'"
}
check_completion "pack " pelkoran-cli pa
check_completion "--help command list pack test version " pelkoran-cli ""
check_completion "--method " pelkoran-cli pack --me
check_completion "lh5 lh6 lh7 " pelkoran-cli pack --method ""
check_completion "best " pelkoran-cli pack --level b
check_completion "--level=fast " pelkoran-cli pack --level=f
check_completion "other sub dir " pelkoran-cli pack --output-dir ""
check_completion "--dry-run " pelkoran-cli pack --d
check_completion "--odd " pelkoran-cli pack -- --o
check_completion "a.lzh " pelkoran-cli pack a
check_completion "B.LHA a.lzh other sub dir " pelkoran-cli test ""
check_completion "" pelkoran-cli version ""

if [ "$failures" -gt 0 ]; then
    echo "$failures failure(s)"
    exit 1
fi
echo "installed files all present and working"
