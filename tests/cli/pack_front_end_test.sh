#!/bin/bash
# pack_front_end_test.sh - what pelkoran-cli pack says and where it writes:
# the platform's separators, paths resolved as the kernel reads them, the
# messages, the order, same-named items in one run, and the package texts.
#
# Usage: pack_front_end_test.sh PATH/TO/pelkoran-cli SOURCE_DIR
set -u
CLI=${1:?usage: pack_front_end_test.sh PELKORAN_CLI SOURCE_DIR}
SRC=${2:?usage: pack_front_end_test.sh PELKORAN_CLI SOURCE_DIR}
# C.UTF-8 for all but the messages, which are the Japanese ones: the
# program's language is the desktop's (LANGUAGE, LC_ALL, LC_MESSAGES, LANG).
unset LANGUAGE $(env | sed -n 's/^\(LC_[A-Z_]*\)=.*/\1/p')
export LANG=C.UTF-8 LC_MESSAGES=ja_JP.UTF-8

WORK=$(mktemp -d /tmp/pelkoran-front-XXXXXX)
trap 'rm -rf "$WORK"' EXIT
WORK=$(cd "$WORK" && pwd -P)
FAILS=0
DONE_MSG='圧縮がすべて終了しました。'

fail() { echo "FAIL: $*" >&2; FAILS=$((FAILS + 1)); }
check() { local what=$1; shift; "$@" || fail "$what"; }

# Runs the CLI in $WORK/w; leaves its exit status in RC, its output in OUT and ERR.
run() {
    (cd "$WORK/w" && "$CLI" pack "$@") >"$WORK/out" 2>"$WORK/err"
    RC=$?
    OUT=$(cat "$WORK/out")
    ERR=$(cat "$WORK/err")
}

fresh() {
    rm -rf "$WORK/w"
    mkdir -p "$WORK/w"
    printf 'memo\n' >"$WORK/w/memo.txt"
}

# 1. '/' is the only separator here: '\' and ':' are bytes of a name, so a
#    directory typed "x:y" or "back\2024" is one name (refused when it is not
#    there, never a file "x:y\memo.txt.lzh" in the working directory), and an
#    existing directory named "out\" is taken as it is.
fresh
run --output-dir 'x:y' memo.txt
check "x:y: exit 2 (got $RC)" test "$RC" -eq 2
check "x:y: message (got $ERR)" test "$ERR" = "pelkoran-cli pack: 指定のディレクトリ(x:y)がありません"
run --output-dir 'back\2024' memo.txt
check "back\\2024: exit 2 (got $RC)" test "$RC" -eq 2
check "nothing written beside the item" test "$(ls "$WORK/w")" = "memo.txt"
mkdir "$WORK/w/out\\"
run --output-dir 'out\' memo.txt
check "out\\: exit 0 (got $RC: $ERR)" test "$RC" -eq 0
check "out\\: the archive is inside it" test -f "$WORK/w/out\\/memo.txt.lzh"

# 2. With link -> real/sub, "link/../memo.txt" is real/memo.txt (what cat reads);
#    "real/sub/.." is real, packed under its own name.
fresh
mkdir -p "$WORK/w/real/sub"
printf 'real\n' >"$WORK/w/real/memo.txt"
ln -s real/sub "$WORK/w/link"
run --dry-run link/../memo.txt "$WORK/w/real/sub/.."
check "resolved paths (got: $OUT)" test "$OUT" = "a \"$WORK/w/real.lzh\" \"$WORK/w/\" -d1 \"real\"
a \"$WORK/w/real/memo.txt.lzh\" \"$WORK/w/real/\" -d1 \"memo.txt\""

# 6. The messages: nothing listed, no completion line; a folder that takes no
#    file says why; an item that would be its own archive says so, untouched;
#    --help names every option.
fresh
run gone.txt
check "nothing listed: exit 1 (got $RC)" test "$RC" -eq 1
check "nothing listed: no completion line (got $OUT)" test -z "$OUT"
check "nothing listed: the note" grep -qF "gone.txt がありません" "$WORK/err"
# The library says "not found" once for a missing item, and why for a dangling link.
ln -s nowhere "$WORK/w/dangling"
(cd "$WORK/w" && "$CLI" command 'a "x.lzh" "./" -d1 "gone.txt"') >"$WORK/out" 2>&1
check "missing item: not found, once ($(cat "$WORK/out"))" grep -qx "対象が見つかりません: ./gone.txt" "$WORK/out"
(cd "$WORK/w" && "$CLI" command 'a "x.lzh" "./" -d1 "dangling"') >"$WORK/out" 2>&1
check "dangling link: says the target is missing ($(cat "$WORK/out"))" \
    grep -qx "対象が見つかりません: ./dangling (リンク先がありません)" "$WORK/out"
run --output-dir /proc memo.txt
check "/proc: exit 2 (got $RC)" test "$RC" -eq 2
case $ERR in
    "pelkoran-cli pack: 指定のディレクトリ(/proc)には書き込めません ("*) ;;
    *) fail "/proc: says why it cannot be written (got $ERR)" ;;
esac
printf 'not an archive' >"$WORK/w/plain.txt.lzh"
run --trim-ext plain.txt.lzh
check "own archive: exit 1 (got $RC)" test "$RC" -eq 1
check "own archive: message (got $ERR)" \
    test "$ERR" = "pelkoran-cli pack: 書庫が項目そのものになるため圧縮できません: $WORK/w/plain.txt.lzh"
check "own archive: untouched" test "$(cat "$WORK/w/plain.txt.lzh")" = "not an archive"
check "own archive: no completion line" test -z "$OUT"
for help in "$CLI --help" "$CLI pack --help"; do
    $help >"$WORK/out" 2>&1
    for option in --same-place --output-dir --trim-ext --dry-run --method --level; do
        check "'$help' names $option" grep -q -- "$option" "$WORK/out"
    done
done

# 10. The order is the window's (the Japanese collation) whatever the locale:
#     亜 (the first JIS kanji) before 一, numbers as numbers.
fresh
touch "$WORK/w/一.txt" "$WORK/w/亜.txt" "$WORK/w/b10" "$WORK/w/B9"
expected="a \"$WORK/w/B9.lzh\" \"$WORK/w/\" -d1 \"B9\"
a \"$WORK/w/b10.lzh\" \"$WORK/w/\" -d1 \"b10\"
a \"$WORK/w/亜.txt.lzh\" \"$WORK/w/\" -d1 \"亜.txt\"
a \"$WORK/w/一.txt.lzh\" \"$WORK/w/\" -d1 \"一.txt\""
for locale in C.UTF-8 C; do
    (cd "$WORK/w" && LC_ALL=$locale "$CLI" pack --dry-run 一.txt b10 亜.txt B9) >"$WORK/out" 2>&1
    check "order under $locale (got: $(cat "$WORK/out"))" test "$(cat "$WORK/out")" = "$expected"
done

# Same-named items sent to one output directory in one run: the second is
# refused naming the first, and stays unpacked; the archive holds the first
# one's bytes. A later run updates that archive as always.
fresh
mkdir -p "$WORK/w/a" "$WORK/w/b" "$WORK/w/out"
printf 'from a\n' >"$WORK/w/a/x.txt"
printf 'from b\n' >"$WORK/w/b/x.txt"
run --output-dir out a/x.txt b/x.txt
check "same name: exit 1 (got $RC)" test "$RC" -eq 1
check "same name: the reason names both (got $ERR)" \
    test "$ERR" = "pelkoran-cli pack: $WORK/w/b/x.txt は圧縮しません: この実行で先に圧縮した $WORK/w/a/x.txt と同じ名前で書庫 out/x.txt.lzh に入り、それを置き換えるためです"
check "same name: no completion line" test -z "$OUT"
if command -v lhasa >/dev/null; then
    check "same name: the archive holds a's bytes" test "$(lhasa pq "$WORK/w/out/x.txt.lzh" 2>/dev/null)" = "from a"
    run --output-dir out b/x.txt
    check "later run: exit 0 (got $RC: $ERR)" test "$RC" -eq 0
    check "later run: b's bytes replace a's" test "$(lhasa pq "$WORK/w/out/x.txt.lzh" 2>/dev/null)" = "from b"
fi

# The language follows the desktop: English unless the messages' locale
# (or LANGUAGE, under a locale that is not C) is Japanese. Command texts are
# never translated.
lang_run() {  # lang_run ENV... -- ARGS...: the CLI in $WORK/w under exactly ENV
    local env=()
    while [ "$1" != -- ]; do env+=("$1"); shift; done
    shift
    (cd "$WORK/w" && env -u LANGUAGE -u LC_ALL -u LC_MESSAGES -u LANG "${env[@]}" "$CLI" "$@") \
        >"$WORK/out" 2>"$WORK/err"
    RC=$?
    OUT=$(cat "$WORK/out")
    ERR=$(cat "$WORK/err")
}
fresh
lang_run LANG=en_US.UTF-8 -- pack gone.txt memo.txt
check "English: the note (got $ERR)" test "$ERR" = "pelkoran-cli pack: gone.txt does not exist; skipped"
check "English: the completion line (got $OUT)" test "$OUT" = "All items have been packed."
lang_run LANG=en_US.UTF-8 -- command 'a "x.lzh" "./" -d1 "gone.txt"'
check "English: the library's report (got $ERR)" test "$ERR" = "Item not found: ./gone.txt"
lang_run LANG=en_US.UTF-8 -- pack --dry-run memo.txt
check "English: the command text unchanged (got $OUT)" \
    test "$OUT" = "a \"$WORK/w/memo.txt.lzh\" \"$WORK/w/\" -d1 \"memo.txt\""
lang_run LANG=en_US.UTF-8 -- list memo.txt.lzh
check "English: list headings (got $OUT)" grep -q '^Method  *Original  *Stored  *Ratio  *Modified  *Name$' "$WORK/out"
lang_run LANG=en_US.UTF-8 -- --help
check "English: usage (got $OUT)" grep -q '^Usage: pelkoran-cli COMMAND' "$WORK/out"
lang_run LANG=ja_JP.UTF-8 -- list memo.txt.lzh
check "Japanese: list headings (got $OUT)" grep -q '^方式    元のサイズ   格納サイズ   比率  更新日時             名前$' "$WORK/out"
# Which variable wins, as gettext has it.
for case in "ja:LANG=ja_JP.UTF-8" "ja:LANG=en_US.UTF-8 LANGUAGE=ja" "ja:LANG=en_US.UTF-8 LANGUAGE=fr:ja_JP:en" \
            "ja:LANG=en_US.UTF-8 LC_MESSAGES=ja_JP.UTF-8" "ja:LANG=ja_JP.UTF-8 LC_ALL=" \
            "en:" "en:LANG=C.UTF-8" "en:LC_ALL=C LANGUAGE=ja" "en:LANG=ja_JP.UTF-8 LC_ALL=C.UTF-8" \
            "en:LANG=ja_JP.UTF-8 LANGUAGE=en" "en:LANG=de_DE.UTF-8 LANGUAGE=de" \
            "en:LC_MESSAGES=ja_JP.UTF-8 LC_ALL=en_US.UTF-8"; do
    want=${case%%:*}
    # shellcheck disable=SC2086
    lang_run ${case#*:} -- pack gone.txt
    [ "$want" = ja ] && expected="pelkoran-cli pack: gone.txt がありません。飛ばします" ||
        expected="pelkoran-cli pack: gone.txt does not exist; skipped"
    check "language under '${case#*:}' is $want (got $ERR)" test "$(head -n 1 "$WORK/err")" = "$expected"
done

# 5. Package texts: no framework named, a generic name in full-width text.
check "desktop entry: Japanese generic name" grep -qx 'GenericName\[ja\]=LZH 圧縮ツール' "$SRC/res/pelkoran.desktop"
check "package: no MFC" test -z "$(grep -n MFC "$SRC/src/app/CMakeLists.txt")"
check "desktop entry: no half-width katakana" \
    test -z "$(grep -nP '[\x{FF61}-\x{FF9F}]' "$SRC/res/pelkoran.desktop" "$SRC/src/app/CMakeLists.txt")"

if [ "$FAILS" -ne 0 ]; then
    echo "$FAILS check(s) failed" >&2
    exit 1
fi
echo "all checks passed"
