#!/usr/bin/env bash
# make-corpus.sh - builds the benchmark corpus of pack-bench.sh from the
# Debian packages pinned in corpus.list, and checks it against the digests
# recorded there.
#
# usage: bench/make-corpus.sh OUTDIR [CATEGORY...]
#   OUTDIR     gets one directory per category and MANIFEST.txt
#   CATEGORY   en-text ja-text source binary compressed (default: all five)
#
# The categories:
#   en-text     English text: a word list, man pages, Debian policy, the
#               developers' reference, the GNU standards, fortunes, licences
#               (files in .gz unpacked; files that are not text dropped)
#   ja-text     Japanese text: man pages (UTF-8), the developers' man pages
#               converted to Shift-JIS (CP932), the SKK dictionary (EUC-JP),
#               the Debian reference (UTF-8 HTML)
#   source      C and C++ headers (usr/include of three -dev packages)
#   binary      ELF programs and libraries (libc's gconv modules left out),
#               Windows PE stubs and plug-ins
#   compressed  JPEG photos under 4000 KiB, PNG images, gzip files
# Every file keeps its path inside its package, under CATEGORY/PACKAGE/.
# Symbolic links are not copied.
#
# The packages are fetched with `apt-get download` (nothing is installed) at
# the versions of corpus.list, and each .deb is checked against its SHA-256
# there before it is unpacked (dpkg-deb -x). MANIFEST.txt lists the packages
# and, per category, the file count, the byte total and the content digest;
# the exit status is 1 when a category differs from corpus.list.
#
# Needs apt-get, dpkg-deb, gzip, iconv, grep, od, sha256sum, and an apt index
# of bookworm (main) that still lists the pinned versions.
set -euo pipefail
export LC_ALL=C

here=$(cd "$(dirname "$0")" && pwd)
list=$here/corpus.list
out=${1:?usage: make-corpus.sh OUTDIR [CATEGORY...]}
shift
categories=${*:-en-text ja-text source binary compressed}

# The packages each category takes its files from.
declare -A packages=(
    [en-text]="wamerican-large manpages manpages-dev debian-policy developers-reference gnu-standards fortunes base-files"
    [ja-text]="manpages-ja manpages-ja-dev skkdic debian-reference-ja"
    [source]="libc6-dev linux-libc-dev libstdc++-12-dev"
    [binary]="coreutils libc6 libstdc++6 libssl3 libsqlite3-0 libxml2 nsis-common"
    [compressed]="mate-backgrounds desktop-base xfdesktop4-data manpages manpages-ja debian-policy"
)
shift_jis_packages="manpages-ja-dev"   # ja-text packages stored as CP932

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
chmod 755 "$scratch"
mkdir "$scratch/debs" "$scratch/root"
# apt-get download drops to the _apt user where there is one.
id _apt >/dev/null 2>&1 && chown _apt "$scratch/debs" 2>/dev/null || true

# pinned NAME: "VERSION SHA256" from corpus.list.
pinned() { awk -v n="$1" '$1 == "deb" && $2 == n { print $3, $4; found = 1 } END { exit !found }' "$list"; }

for c in $categories; do
    [ -n "${packages[$c]:-}" ] || { echo "make-corpus.sh: no category $c" >&2; exit 2; }
done
needed=$(for c in $categories; do printf '%s\n' ${packages[$c]}; done | sort -u)

echo "== fetching $(echo "$needed" | wc -l) packages" >&2
for name in $needed; do
    read -r version digest < <(pinned "$name") || { echo "make-corpus.sh: $name is not in corpus.list" >&2; exit 2; }
    (cd "$scratch/debs" && apt-get download -q "$name=$version") >>"$scratch/apt.log" 2>&1 || {
        cat "$scratch/apt.log" >&2
        echo "make-corpus.sh: cannot fetch $name $version (is the apt index current? apt-get update)" >&2
        exit 1
    }
    deb=$(ls "$scratch/debs/${name}_"*.deb)
    if [ "$(sha256sum <"$deb" | cut -c1-64)" != "$digest" ]; then
        echo "make-corpus.sh: $deb does not match its SHA-256 in corpus.list" >&2
        exit 1
    fi
    dpkg-deb -x "$deb" "$scratch/root/$name"
    mv "$deb" "$scratch/$name.deb"
done

# take PACKAGE CATEGORY [FIND-TESTS...]: copies the package's regular files
# that pass the tests into OUTDIR/CATEGORY/PACKAGE/, at their paths.
take() {
    local name=$1 category=$2
    shift 2
    (cd "$scratch/root/$name" && find . -type f "$@" -print0) | while IFS= read -r -d '' path; do
        mkdir -p "$out/$category/$name/${path%/*}"
        cp -p "$scratch/root/$name/$path" "$out/$category/$name/$path"
    done
}

# Unpacks the .gz files under $1, then keeps only text files with content.
only_text() {
    find "$1" -type f -name '*.gz' -exec gzip -dfq {} + || true
    find "$1" -type f ! -exec grep -Iq . {} \; -delete
    find "$1" -depth -type d -empty -delete
}

# Whether a file starts like an ELF or a PE image.
executable() {
    case $(head -c4 "$1" | od -An -tx1 | tr -d ' \n') in
    7f454c46 | 4d5a*) return 0 ;;
    esac
    return 1
}

build() {
    local category=$1 name path
    rm -rf "${out:?}/$category"
    mkdir -p "$out/$category"
    case $category in
    en-text)
        for name in ${packages[$category]}; do take "$name" "$category"; done
        only_text "$out/$category"
        ;;
    ja-text)
        for name in ${packages[$category]}; do take "$name" "$category"; done
        only_text "$out/$category"
        for name in $shift_jis_packages; do
            [ -d "$out/$category/$name" ] || continue
            find "$out/$category/$name" -type f -print0 | while IFS= read -r -d '' path; do
                iconv -c -f UTF-8 -t CP932 "$path" >"$path.cp932" 2>/dev/null || true
                touch -r "$path" "$path.cp932"
                mv -f "$path.cp932" "$path"
            done
        done
        ;;
    source)
        for name in ${packages[$category]}; do take "$name" "$category" -path './usr/include/*'; done
        ;;
    binary)
        for name in ${packages[$category]}; do
            (cd "$scratch/root/$name" && find . -type f ! -path '*/gconv/*' -print0) |
                while IFS= read -r -d '' path; do
                    executable "$scratch/root/$name/$path" || continue
                    mkdir -p "$out/$category/$name/${path%/*}"
                    cp -p "$scratch/root/$name/$path" "$out/$category/$name/$path"
                done
        done
        ;;
    compressed)
        take mate-backgrounds "$category" \( -iname '*.jpg' -o -iname '*.jpeg' \) -size -4000k
        for name in desktop-base xfdesktop4-data; do take "$name" "$category" -iname '*.png'; done
        for name in manpages manpages-ja debian-policy; do take "$name" "$category" -name '*.gz'; done
        ;;
    esac
}

# The category's line of MANIFEST.txt: "cat CATEGORY FILES BYTES SHA256".
summary() {
    local category=$1 files bytes digest
    files=$(find "$out/$category" -type f | wc -l)
    bytes=$(find "$out/$category" -type f -printf '%s\n' | awk '{ n += $1 } END { printf "%d", n }')
    digest=$(cd "$out" && find "$category" -type f -print0 | sort -z | xargs -0 sha256sum | sha256sum | cut -c1-64)
    echo "cat $category $files $bytes $digest"
}

mkdir -p "$out"
{
    echo "# benchmark corpus (bench/make-corpus.sh), built $(date -u +%Y-%m-%dT%H:%M:%SZ)"
    echo "# Debian packages (name version):"
    for name in $needed; do echo "pkg $name $(dpkg-deb -f "$scratch/$name.deb" Version)"; done
    echo "# category files bytes content-sha256"
} >"$out/MANIFEST.txt"

status=0
for category in $categories; do
    echo "== $category" >&2
    build "$category"
    line=$(summary "$category")
    echo "$line" >>"$out/MANIFEST.txt"
    if grep -qxF "$line" "$list"; then
        echo "$line  (as in corpus.list)"
    else
        echo "$line  DIFFERS from corpus.list: $(grep "^cat $category " "$list" || echo none)"
        status=1
    fi
done
exit $status
