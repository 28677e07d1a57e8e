#!/usr/bin/env bash
# run-fuzzers.sh - runs every libFuzzer target for a fixed time, from the seed
# corpora kept in tests/fuzz/seeds/<target>/. Exits non-zero when any target
# finds a crash, a leak or a time-out; the input that did it is left in
# BUILD/fuzz-artifacts/.
#
# usage: tests/fuzz/run-fuzzers.sh BUILD_DIR [SECONDS_EACH] [TARGET...]
# ./test runs each for about a minute; run it for hours by hand:
#   tests/fuzz/run-fuzzers.sh build-fuzz 3600
set -euo pipefail
build=$(cd "${1:?usage: run-fuzzers.sh BUILD_DIR [SECONDS] [TARGET...]}" && pwd)
seconds=${2:-60}
shift 2 2>/dev/null || shift $#
targets=${*:-"command archive roundtrip profile"}
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$build/fuzz-artifacts"
status=0
for t in $targets; do
    work=$(mktemp -d)
    cp -r "$here/seeds/$t/." "$work/" 2>/dev/null || true
    echo "fuzz_$t: ${seconds}s"
    if ! "$build/bin/fuzz_$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
            -max_len=262144 -print_final_stats=1 -artifact_prefix="$build/fuzz-artifacts/$t-" \
            "$work" > "$build/fuzz-artifacts/$t.log" 2>&1; then
        echo "fuzz_$t FAILED:"; tail -40 "$build/fuzz-artifacts/$t.log"; status=1
    else
        grep -E 'stat::number_of_executed_units|cov:' "$build/fuzz-artifacts/$t.log" | tail -2
    fi
    rm -rf "$work"
done
exit $status
