#!/bin/bash
# translations_test.sh - every text of the window has its English: lupdate
# finds no text that res/i18n/pelkoran_en.ts lacks (nor one it no longer
# needs), and every message there has a finished, non-empty translation.
#
# Usage: translations_test.sh LUPDATE SOURCE_DIR [--update]
#   --update  brings the .ts up to date with the sources instead (new texts
#             come in unfinished, to be translated by hand).
set -u
LUPDATE=${1:?usage: translations_test.sh LUPDATE SOURCE_DIR [--update]}
SRC=${2:?usage: translations_test.sh LUPDATE SOURCE_DIR [--update]}
TS=$SRC/res/i18n/pelkoran_en.ts

lupdate_into() {
    (cd "$SRC" && "$LUPDATE" -silent -no-obsolete -locations none -source-language ja -target-language en \
        src/ui res/packerdialog.ui res/aboutdialog.ui -ts "$1")
}

if [ "${3:-}" = --update ]; then
    lupdate_into "$TS"
    exit
fi

WORK=$(mktemp -d /tmp/pelkoran-ts-XXXXXX)
trap 'rm -rf "$WORK"' EXIT
FAILS=0
fail() { echo "FAIL: $*" >&2; FAILS=$((FAILS + 1)); }

cp "$TS" "$WORK/pelkoran_en.ts"
lupdate_into "$WORK/pelkoran_en.ts" >/dev/null 2>&1 || fail "lupdate failed"
diff -u "$TS" "$WORK/pelkoran_en.ts" >&2 ||
    fail "res/i18n/pelkoran_en.ts is not up to date with the sources: run $0 $LUPDATE $SRC --update, then translate"
messages=$(grep -c '<message' "$TS")
[ "$messages" -gt 0 ] || fail "no messages in $TS"
translated=$(grep -c '<translation>[^<][^<]*</translation>' "$TS")
[ "$translated" -eq "$messages" ] || fail "$messages messages, $translated of them translated"
if grep -n 'type="unfinished"\|type="vanished"\|type="obsolete"\|<translation/>\|<translation></translation>' "$TS" >&2; then
    fail "unfinished or empty translations (above)"
fi

if [ "$FAILS" -ne 0 ]; then
    echo "$FAILS check(s) failed" >&2
    exit 1
fi
echo "all $messages messages translated"
