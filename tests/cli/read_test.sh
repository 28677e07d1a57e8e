#!/bin/bash
# read_test.sh - pelkoran-cli test and list on archives other archivers write
# (bytes after the end mark, an executable stub, a method we do not decode,
# unknown times), names that would drive the terminal, and a stdout that
# cannot be written.
#
# Usage: read_test.sh PATH/TO/pelkoran-cli
set -u
CLI=${1:?usage: read_test.sh PELKORAN_CLI}
# C.UTF-8 for all but the messages, which are the Japanese ones: the
# program's language is the desktop's (LANGUAGE, LC_ALL, LC_MESSAGES, LANG).
unset LANGUAGE $(env | sed -n 's/^\(LC_[A-Z_]*\)=.*/\1/p')
export LANG=C.UTF-8 LC_MESSAGES=ja_JP.UTF-8
export TZ=UTC

WORK=$(mktemp -d /tmp/pelkoran-read-XXXXXX)
trap 'rm -rf "$WORK"' EXIT
FAILS=0

fail() { echo "FAIL: $*" >&2; FAILS=$((FAILS + 1)); }
check() { local what=$1; shift; "$@" || fail "$what"; }

# Runs the CLI; leaves its exit status in RC, its output in OUT and ERR.
run() {
    "$CLI" "$@" >"$WORK/out" 2>"$WORK/err"
    RC=$?
    OUT=$(cat "$WORK/out")
    ERR=$(cat "$WORK/err")
}

# Writes the bytes given as decimal numbers.
bytes() { local b; for b; do printf "\\$(printf '%03o' "$b")"; done; }

# A level-0 member: METHOD NAME DATA ORIGINAL_SIZE DOS_TIME DATA_CRC (name and data ASCII).
level0() {
    local method=$1 name=$2 data=$3 original=$4 time=$5 crc=$6 i sum=0
    local -a h=($((22 + ${#name})) 0)
    for ((i = 0; i < 5; i++)); do h+=("$(printf '%d' "'${method:i:1}")"); done
    for v in ${#data} "$original" "$time"; do
        h+=($((v & 255)) $((v >> 8 & 255)) $((v >> 16 & 255)) $((v >> 24 & 255)))
    done
    h+=(32 0 ${#name})
    for ((i = 0; i < ${#name}; i++)); do h+=("$(printf '%d' "'${name:i:1}")"); done
    h+=($((crc & 255)) $((crc >> 8)))
    for ((i = 2; i < ${#h[@]}; i++)); do sum=$(((sum + h[i]) & 255)); done
    h[1]=$sum
    bytes "${h[@]}"
    printf '%s' "$data"
}

# --- names with control characters are shown escaped
mkdir -p "$WORK/src"
evil=$(printf 'a\033[31mred\nline\r.txt')
printf 'x' >"$WORK/src/$evil"
"$CLI" pack "$WORK/src" >/dev/null 2>&1 || fail "pack of the evil name"
run list "$WORK/src.lzh"
check "escaped: exit 0 (got $RC: $ERR)" test "$RC" -eq 0
check "escaped: no ESC or CR reaches the terminal" test -z "$(tr -d -c '\033\r' <"$WORK/out")"
check "escaped: name shown on one line (got: $OUT)" grep -qF 'src/a\x1B[31mred\x0Aline\x0D.txt' "$WORK/out"

# --- stdout that cannot be written
for args in "list $WORK/src.lzh" "test $WORK/src.lzh" "pack --dry-run $WORK/src" "--help"; do
    # shellcheck disable=SC2086
    "$CLI" $args >/dev/full 2>"$WORK/err"
    RC=$?
    check "$args > /dev/full: exit 1 (got $RC)" test "$RC" -eq 1
    check "$args > /dev/full: says so" grep -qF '標準出力に書き込めません' "$WORK/err"
done

# --- bytes after the end mark: a warning, exit 0
{ level0 -lh0- abc.txt abc 3 $((0x526428C4)) $((0x9738)); bytes 0; } >"$WORK/abc.lzh"
{ cat "$WORK/abc.lzh"; head -c 100 /dev/zero | tr '\0' '\032'; } >"$WORK/padded.lzh"
run test "$WORK/padded.lzh"
check "trailing: test exit 0 (got $RC: $ERR)" test "$RC" -eq 0
check "trailing: warning names the bytes" grep -qF '100 バイトの余分なデータ' "$WORK/err"
run list "$WORK/padded.lzh"
check "trailing: list exit 0" test "$RC" -eq 0
check "trailing: list shows the member" grep -qF 'abc.txt' "$WORK/out"

# --- an executable stub before the archive
{ printf 'MZ'; head -c 3000 /dev/zero; cat "$WORK/abc.lzh"; } >"$WORK/sfx.exe"
run test "$WORK/sfx.exe"
check "stub: test exit 0 (got $RC: $ERR)" test "$RC" -eq 0
check "stub: warning gives the stub's size" grep -qF '先頭の 3002 バイト' "$WORK/err"
{ printf 'MZ'; head -c 3000 /dev/zero; } >"$WORK/plain.exe"
run test "$WORK/plain.exe"
check "no archive: exit 1" test "$RC" -eq 1
check "no archive: not an LZH archive (got: $ERR)" grep -qF 'LZH 書庫ではありません' "$WORK/err"

# --- a method we do not decode: its own exit status, not damage; unknown
# times and an unnamed directory entry listed as such
{
    level0 -pm2- pm.bin xyz 9 $((0x526428C4)) 0
    level0 -lh0- old.txt abc 3 0 $((0x9738))
    level0 -lhd- '' '' 0 $((0x526428C4)) 0
    bytes 0
} >"$WORK/old.lzh"
run test "$WORK/old.lzh"
check "unsupported: exit 3 (got $RC: $ERR)" test "$RC" -eq 3
check "unsupported: names the method" grep -qF -- '-pm2-' "$WORK/err"
check "unsupported: not called damage" test -z "$(grep -F '壊れ' "$WORK/err")"
run test "$WORK/old.lzh" "$WORK/plain.exe"
check "unsupported and unreadable: exit 1" test "$RC" -eq 1
run list "$WORK/old.lzh"
check "old: list exit 0" test "$RC" -eq 0
check "old: DOS time 0 is unknown (got: $OUT)" grep -qE '^-lh0- .*不明 +old\.txt$' "$WORK/out"
check "old: unnamed directory is ./" grep -qE '^-lhd- .*  \./$' "$WORK/out"

# --- -lh1-, -lzs-, -lz5- as jLHA (the library of the jlha reader) writes
# them: test checks every CRC. Needs a Java compiler; skipped without one.
JLHA_JAR=/usr/share/java/jlha.jar
if command -v javac >/dev/null && [ -f "$JLHA_JAR" ]; then
    mkdir -p "$WORK/java" "$WORK/data"
    cat >"$WORK/java/MakeArchive.java" <<'JAVA'
import java.io.FileOutputStream;
import java.nio.file.Files;
import java.nio.file.Path;
import jp.gr.java_conf.dangan.util.lha.LhaHeader;
import jp.gr.java_conf.dangan.util.lha.LhaOutputStream;

// MakeArchive OUT METHOD FILE...: one member per file, in METHOD.
public class MakeArchive {
    public static void main(String[] args) throws Exception {
        try (LhaOutputStream out = new LhaOutputStream(new FileOutputStream(args[0]))) {
            for (int i = 2; i < args.length; i++) {
                byte[] data = Files.readAllBytes(Path.of(args[i]));
                LhaHeader h = new LhaHeader(Path.of(args[i]).getFileName().toString());
                h.setCompressMethod(args[1]);
                h.setOriginalSize(data.length);
                out.putNextEntry(h);
                out.write(data);
                out.closeEntry();
            }
        }
    }
}
JAVA
    if javac -d "$WORK/java" -cp "$JLHA_JAR" "$WORK/java/MakeArchive.java" 2>"$WORK/err"; then
        seq 1 40000 >"$WORK/data/numbers.txt"   # long enough for -lh1- to halve its weights
        printf '          leading blanks\n' >"$WORK/data/blanks.txt"
        { seq 1 300; head -c 3000 /dev/urandom; seq 1 300; } >"$WORK/data/mixed.bin"
        for method in -lh1- -lzs- -lz5-; do
            java -cp "$JLHA_JAR:$WORK/java" MakeArchive "$WORK/old$method.lzh" "$method" \
                "$WORK/data/numbers.txt" "$WORK/data/blanks.txt" "$WORK/data/mixed.bin" 2>"$WORK/err" ||
                fail "jLHA $method: $(cat "$WORK/err")"
            run test "$WORK/old$method.lzh"
            check "$method: test exit 0 (got $RC: $ERR)" test "$RC" -eq 0
            run list "$WORK/old$method.lzh"
            check "$method: list shows the method" test "$(grep -c -- "^$method " "$WORK/out")" -ge 2
        done
    else
        fail "javac: $(cat "$WORK/err")"
    fi
else
    echo "no Java compiler: the jLHA archives of -lh1-, -lzs-, -lz5- are not checked" >&2
fi

exit $((FAILS > 0))
