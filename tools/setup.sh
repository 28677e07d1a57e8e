# tools/setup.sh - shared set-up for ./run and ./test (sourced, not executed).
#
# Installs the Debian packages of tools/debian-packages.txt that are missing,
# then configures and builds the Release tree in build/.

pelkoran_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

pelkoran_install_packages() {
    local wanted missing=()
    wanted=$(grep -v -E '^\s*(#|$)' "$pelkoran_root/tools/debian-packages.txt")
    for p in $wanted; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

pelkoran_build() {
    local dir=${1:-build} type=${2:-Release}
    shift 2 2>/dev/null || true
    cmake -S "$pelkoran_root" -B "$pelkoran_root/$dir" -DCMAKE_BUILD_TYPE="$type" "$@" >/dev/null
    cmake --build "$pelkoran_root/$dir" -j"$(nproc)"
}

# ja_JP.UTF-8: under it Wine takes code page 932 and draws Japanese.
pelkoran_japanese_locale() {
    locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$' && return 0
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    echo "Generating the ja_JP.UTF-8 locale"
    $sudo localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
}

# The Windows programs and their tests, cross-built into build-win/.
pelkoran_build_windows() {
    local dir=${1:-build-win}
    cmake -S "$pelkoran_root" -B "$pelkoran_root/$dir" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$pelkoran_root/cmake/mingw-w64-x86_64.cmake" >/dev/null
    cmake --build "$pelkoran_root/$dir" -j"$(nproc)"
}

# Creates the build's Wine prefixes one after the other before the tests
# run: tests started side by side on a prefix that does not exist yet race
# to create it, and one of them fails.
pelkoran_wine_prefixes() {
    local dir=$pelkoran_root/${1:-build-win} prefix
    for prefix in wineprefix wineprefix-display; do
        [ -d "$dir/$prefix" ] && continue
        WINEPREFIX=$dir/$prefix WINEDEBUG=-all LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 \
            wine wineboot --init >/dev/null 2>&1 || true
        WINEPREFIX=$dir/$prefix wineserver -w
    done
}
