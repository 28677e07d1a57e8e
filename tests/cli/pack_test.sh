#!/bin/bash
# pack_test.sh - pelkoran-cli pack end to end: a real tree packed item by item,
# each archive extracted by lhasa and bsdtar and compared with its source.
#
# Usage: pack_test.sh PATH/TO/pelkoran-cli
set -u
CLI=${1:?usage: pack_test.sh PELKORAN_CLI}
# C.UTF-8 for all but the messages, which are the Japanese ones: the
# program's language is the desktop's (LANGUAGE, LC_ALL, LC_MESSAGES, LANG).
unset LANGUAGE $(env | sed -n 's/^\(LC_[A-Z_]*\)=.*/\1/p')
export LANG=C.UTF-8 LC_MESSAGES=ja_JP.UTF-8

WORK=$(mktemp -d /tmp/pelkoran-pack-XXXXXX)
trap 'rm -rf "$WORK"' EXIT
FAILS=0
DONE_MSG='圧縮がすべて終了しました。'

fail() { echo "FAIL: $*" >&2; FAILS=$((FAILS + 1)); }
check() { local what=$1; shift; "$@" || fail "$what"; }

# Runs the CLI; leaves its exit status in RC, its output in OUT and ERR.
run() {
    "$CLI" pack "$@" >"$WORK/out" 2>"$WORK/err"
    RC=$?
    OUT=$(cat "$WORK/out")
    ERR=$(cat "$WORK/err")
}

# A fresh source tree: a file, a directory with a subdirectory, and names
# that are legal here: a double quote, a backslash, blanks, bytes that are not UTF-8.
make_tree() {
    rm -rf "$WORK/src" "$WORK/out-dir"
    mkdir -p "$WORK/src/photos/2024 trip" "$WORK/out-dir"
    printf 'memo\n' >"$WORK/src/memo.txt"
    head -c 200000 /dev/urandom >"$WORK/src/photos/a.jpg"
    seq 1 20000 >"$WORK/src/photos/2024 trip/list.txt"
    printf 'q' >"$WORK/src/say \"hi\".txt"
    printf 'b' >"$WORK/src/back\\slash.txt"
    printf 'x' >"$WORK/src/$(printf '\xff\xfe').bin"
}

# extracts ARCHIVE with each reader and compares the tree with SOURCE (a file or directory).
extracts_to() {
    local archive=$1 source=$2 reader dir
    for reader in lhasa bsdtar; do
        command -v "$reader" >/dev/null || continue
        dir=$(mktemp -d "$WORK/x-XXXXXX")
        case $reader in
            lhasa) (cd "$dir" && lhasa xq "$archive") >/dev/null 2>&1 ;;
            bsdtar) bsdtar -xf "$archive" -C "$dir" >/dev/null 2>&1 ;;
        esac
        if ! diff -r "$source" "$dir/$(basename "$source")" >/dev/null 2>&1; then
            fail "$reader: $archive does not hold $source"
        fi
        rm -rf "$dir"
    done
}

if ! command -v lhasa >/dev/null && ! command -v bsdtar >/dev/null; then
    echo "neither lhasa nor bsdtar is installed" >&2
    exit 77
fi

# 1. Next to each item, extension kept: every archive opens to its item.
make_tree
run "$WORK/src/photos" "$WORK/src/memo.txt" "$WORK/src/say \"hi\".txt"
check "same place: exit 0 (got $RC: $ERR)" test "$RC" -eq 0
check "same place: completion message on stdout" test "$OUT" = "$DONE_MSG"
for item in photos memo.txt 'say "hi".txt'; do
    check "same place: $item.lzh written" test -f "$WORK/src/$item.lzh"
    extracts_to "$WORK/src/$item.lzh" "$WORK/src/$item"
done

# 2. Into an output directory typed with blanks and a trailing slash, extension dropped;
#    relative paths, given twice, are admitted once, as a drop admits them.
make_tree
(cd "$WORK/src" && "$CLI" pack --output-dir "  $WORK/out-dir/ " --trim-ext memo.txt ./photos/ memo.txt) \
    >"$WORK/out" 2>"$WORK/err"
RC=$?
check "output dir: exit 0 (got $RC: $(cat "$WORK/err"))" test "$RC" -eq 0
check "output dir: two archives" test "$(ls "$WORK/out-dir" | wc -l)" -eq 2
extracts_to "$WORK/out-dir/memo.lzh" "$WORK/src/memo.txt"
extracts_to "$WORK/out-dir/photos.lzh" "$WORK/src/photos"

# 3. --dry-run: the command texts in list order, nothing written; the output directory still checked.
make_tree
run --dry-run --output-dir "$WORK/out-dir" "$WORK/src/say \"hi\".txt" "$WORK/src/memo.txt" "$WORK/src/photos"
expected="a \"$WORK/out-dir/memo.txt.lzh\" \"$WORK/src/\" -d1 \"memo.txt\"
a \"$WORK/out-dir/photos.lzh\" \"$WORK/src/\" -d1 \"photos\"
a \"$WORK/out-dir/say \"\"hi\"\".txt.lzh\" \"$WORK/src/\" -d1 \"say \"\"hi\"\".txt\""
check "dry run: exit 0" test "$RC" -eq 0
check "dry run: command texts in order (got: $OUT)" test "$OUT" = "$expected"
check "dry run: nothing written" test -z "$(ls "$WORK/out-dir"; find "$WORK/src" -name '*.lzh')"
run --dry-run --same-place --output-dir /nonexistent "$WORK/src/memo.txt"
check "--same-place wins over --output-dir" test "$RC" -eq 0 -a "$OUT" = "a \"$WORK/src/memo.txt.lzh\" \"$WORK/src/\" -d1 \"memo.txt\""
run --dry-run --output-dir / "$WORK/src/memo.txt"
check "root as output dir" test "$OUT" = "a \"//memo.txt.lzh\" \"$WORK/src/\" -d1 \"memo.txt\""
# --method and --level reach the text as switches; the defaults add none.
run --dry-run --method lh5 --level normal "$WORK/src/memo.txt"
check "default switches: text unchanged" test "$OUT" = "a \"$WORK/src/memo.txt.lzh\" \"$WORK/src/\" -d1 \"memo.txt\""
run --dry-run --method=lh7 --level best "$WORK/src/memo.txt"
check "lh7 best: switches in the text" test "$OUT" = "a \"$WORK/src/memo.txt.lzh\" \"$WORK/src/\" -d1 -lh7 -best \"memo.txt\""
run --dry-run --verify --level fast "$WORK/src/memo.txt"
check "--verify: switch last" test "$OUT" = "a \"$WORK/src/memo.txt.lzh\" \"$WORK/src/\" -d1 -fast -verify \"memo.txt\""
run --verify "$WORK/src/photos"
check "--verify: packed" test "$RC" -eq 0
extracts_to "$WORK/src/photos.lzh" "$WORK/src/photos"
rm -f "$WORK/src/photos.lzh"

# 4. A rejected output directory: exit 2, the message on stderr, nothing written.
make_tree
run --output-dir "$WORK/missing" "$WORK/src/memo.txt"
check "missing dir: exit 2" test "$RC" -eq 2
check "missing dir: message" test "$ERR" = "pelkoran-cli pack: 指定のディレクトリ($WORK/missing)がありません"
run --dry-run --output-dir "$WORK/src/memo.txt" "$WORK/src/photos"
check "file as dir: exit 2" test "$RC" -eq 2
check "file as dir: message" test "$ERR" = "pelkoran-cli pack: ディレクトリを指定してください"
check "rejected: nothing written" test -z "$(find "$WORK/src" -name '*.lzh')"

# 5. The library fails the second of three items: the first is packed, the run stops there,
#    and the file that stood in the way is untouched.
make_tree
printf 'not an archive' >"$WORK/src/photos.lzh"
run "$WORK/src/say \"hi\".txt" "$WORK/src/photos" "$WORK/src/memo.txt"
check "failed item: exit 1" test "$RC" -eq 1
check "failed item: the library's reason on stderr" test -n "$ERR"
check "failed item: no completion message" test -z "$OUT"
check "failed item: first packed" test -f "$WORK/src/memo.txt.lzh"
check "failed item: later ones not" test ! -e "$WORK/src/say \"hi\".txt.lzh"
check "failed item: obstacle untouched" test "$(cat "$WORK/src/photos.lzh")" = "not an archive"

# 6. Paths that are not there are skipped with a note; the rest is packed; the status says so.
make_tree
run "$WORK/src/gone.txt" "$WORK/src/memo.txt"
check "skipped: exit 1" test "$RC" -eq 1
check "skipped: note names the path" grep -qF "$WORK/src/gone.txt" "$WORK/err"
check "skipped: the rest packed" test -f "$WORK/src/memo.txt.lzh"

# 7. Odd names keep their bytes up to the library. One that is not UTF-8 is packed byte for
#    byte (lhasa gives the very name back); a backslash, which readers take for a separator,
#    is refused with the library's reason: exit 1, nothing written.
make_tree
odd="$WORK/src/$(printf '\xff\xfe').bin"
run --dry-run "$odd"
check "non-UTF-8 name: command text carries the bytes" \
    test "$OUT" = "a \"$odd.lzh\" \"$WORK/src/\" -d1 \"$(basename "$odd")\""
run --dry-run "$WORK/src/back\\slash.txt"
check "backslash name: one component" \
    test "$OUT" = "a \"$WORK/src/back\\slash.txt.lzh\" \"$WORK/src/\" -d1 \"back\\slash.txt\""
run "$odd"
check "non-UTF-8 name: exit 0 (got $RC: $ERR)" test "$RC" -eq 0
if command -v lhasa >/dev/null; then
    dir=$(mktemp -d "$WORK/x-XXXXXX")
    (cd "$dir" && lhasa xq "$odd.lzh") >/dev/null 2>&1
    check "non-UTF-8 name: lhasa restores the bytes" cmp -s "$odd" "$dir/$(basename "$odd")"
fi
run "$WORK/src/back\\slash.txt"
check "backslash name: exit 1" test "$RC" -eq 1
check "backslash name: the reason names the file" grep -qF 'back\slash.txt' "$WORK/err"
check "backslash name: no archive" test ! -e "$WORK/src/back\\slash.txt.lzh"

# 8. Special files inside a folder are left out, each named on stderr; the run still
#    succeeds. A link named as an item is followed: its directory's contents are packed.
make_tree
mkfifo "$WORK/src/photos/pipe" "$WORK/src/photos/2024 trip/pipe2"
ln -s photos "$WORK/src/photos-link"
run "$WORK/src/photos" "$WORK/src/photos-link"
check "special files: exit 0 (got $RC: $ERR)" test "$RC" -eq 0
check "special files: completion message" test "$OUT" = "$DONE_MSG"
check "special files: each named on stderr" grep -qF "$WORK/src/photos/pipe" "$WORK/err"
check "special files: the deeper one too" grep -qF "$WORK/src/photos/2024 trip/pipe2" "$WORK/err"
check "followed link: its contents packed" sh -c "'$CLI' list '$WORK/src/photos-link.lzh' | grep -qF 'photos-link/2024 trip/list.txt'"

# 9. Wrong arguments: exit 2 with the usage.
for args in "" "--bogus $WORK/src/memo.txt" "--output-dir" "--method lh8 $WORK/src/memo.txt" "--level" "--level max $WORK/src/memo.txt"; do
    # shellcheck disable=SC2086
    run $args
    check "bad arguments '$args': exit 2" test "$RC" -eq 2
    check "bad arguments '$args': usage" grep -q 'pelkoran-cli pack' "$WORK/err"
done

# Waits (up to 5 s) until a temporary file shows in DIR: the run is writing.
wait_for_temp() {
    local i
    for i in $(seq 250); do
        ls -A "$1" | grep -q '\.tmp$' && return 0
        sleep 0.02
    done
    return 1
}

# 9. Two runs on one archive at once, started while the first writes: both members end up in
#    it, whether the archive is new or updated, and no temporary file is left.
mkdir -p "$WORK/race"
head -c 15000000 /dev/urandom | base64 >"$WORK/race/memo.txt"
printf 'note\n' >"$WORK/race/memo.doc"
printf 'old\n' >"$WORK/race/memo.old"
for start in new update; do
    rm -f "$WORK/race/memo.lzh"
    [ $start = update ] && "$CLI" pack --trim-ext "$WORK/race/memo.old" >/dev/null 2>&1
    "$CLI" pack --trim-ext "$WORK/race/memo.txt" >/dev/null 2>"$WORK/err1" &
    first=$!
    wait_for_temp "$WORK/race"
    "$CLI" pack --trim-ext "$WORK/race/memo.doc" >/dev/null 2>"$WORK/err2"
    rc2=$?
    wait $first
    rc1=$?
    check "two runs ($start): both exit 0 ($rc1: $(cat "$WORK/err1"); $rc2: $(cat "$WORK/err2"))" \
        test "$rc1" -eq 0 -a "$rc2" -eq 0
    listing=$("$CLI" list "$WORK/race/memo.lzh")
    for name in memo.txt memo.doc $([ $start = update ] && echo memo.old); do
        check "two runs ($start): $name in the archive" grep -qF " $name" <<<"$listing"
    done
    check "two runs ($start): no temporary file" test -z "$(ls -A "$WORK/race" | grep '\.tmp$')"
done

# 10. A stop signal while the archive is written (the terminal closed, a timer, a user's
#     signal, Ctrl+C, SIGTERM): exit 1 with the reason, the old archive as it was, no
#     temporary file.
"$CLI" pack "$WORK/race/memo.doc" >/dev/null 2>&1
mv "$WORK/race/memo.doc.lzh" "$WORK/race/old.lzh"
for sig in HUP ALRM USR1 USR2 INT TERM; do
    cp "$WORK/race/old.lzh" "$WORK/race/memo.txt.lzh"
    "$CLI" pack "$WORK/race/memo.txt" >/dev/null 2>"$WORK/err" &
    pid=$!
    wait_for_temp "$WORK/race"
    kill -s $sig $pid
    wait $pid
    RC=$?
    check "SIG$sig: exit 1 (got $RC)" test "$RC" -eq 1
    check "SIG$sig: cancelled" grep -qF '中止しました' "$WORK/err"
    check "SIG$sig: old archive untouched" cmp -s "$WORK/race/old.lzh" "$WORK/race/memo.txt.lzh"
    check "SIG$sig: no temporary file" test -z "$(ls -A "$WORK/race" | grep '\.tmp$')"
done

# 11. A file size limit: the write fails with its reason naming the archive, exit 1, nothing left.
rm -f "$WORK/race/memo.txt.lzh"
(ulimit -f 1000 && exec "$CLI" pack "$WORK/race/memo.txt") >/dev/null 2>"$WORK/err"
RC=$?
check "file size limit: exit 1 (got $RC)" test "$RC" -eq 1
check "file size limit: the reason" grep -qF "$WORK/race/memo.txt.lzh (ファイルが大きすぎます)" "$WORK/err"
check "file size limit: nothing left" test -z "$(ls -A "$WORK/race" | grep -E '\.tmp$|memo.txt.lzh')"

# 12. A user who may start no more processes (so no threads either) still packs a directory.
if [ "$(id -u)" -eq 0 ] && command -v runuser >/dev/null; then
    make_tree
    chmod -R a+rwX "$WORK"
    # LeakSanitizer needs a thread of its own at exit, which this user cannot start.
    ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0 \
        runuser -u nobody -- bash -c "ulimit -u 1 && exec \"\$0\" pack \"\$1\"" "$CLI" "$WORK/src/photos" \
        >/dev/null 2>"$WORK/err"
    RC=$?
    check "no threads: exit 0 (got $RC: $(cat "$WORK/err"))" test "$RC" -eq 0
    extracts_to "$WORK/src/photos.lzh" "$WORK/src/photos"
fi

if [ "$FAILS" -ne 0 ]; then
    echo "$FAILS check(s) failed" >&2
    exit 1
fi
echo "all checks passed"
