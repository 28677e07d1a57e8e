#!/usr/bin/env bash
# run-fuzzers.sh - runs every libFuzzer target for a fixed time, from the seed
# corpora kept in tests/fuzz/seeds/<target>/, as many at once as there are
# cores. Exits non-zero when any target finds a crash, a leak or a time-out;
# the input that did it is left in BUILD/fuzz-artifacts/.
#
# usage: tests/fuzz/run-fuzzers.sh BUILD_DIR [SECONDS_EACH] [TARGET...]
# ./test runs each for a minute; run them for hours by hand:
#   tests/fuzz/run-fuzzers.sh build-fuzz 3600
set -euo pipefail
build=$(cd "${1:?usage: run-fuzzers.sh BUILD_DIR [SECONDS] [TARGET...]}" && pwd)
seconds=${2:-60}
shift 2 2>/dev/null || shift $#
targets=${*:-"command archive roundtrip profile"}
here=$(cd "$(dirname "$0")" && pwd)
out="$build/fuzz-artifacts"
mkdir -p "$out"

run_one() {   # run_one TARGET: prints one summary line, fails on a finding
    local t=$1 work
    work=$(mktemp -d)
    cp -r "$here/seeds/$t/." "$work/" 2>/dev/null || true
    if "$build/bin/fuzz_$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
            -max_len=262144 -print_final_stats=1 -artifact_prefix="$out/$t-" \
            "$work" > "$out/$t.log" 2>&1; then
        echo "fuzz_$t: ${seconds}s, $(grep -o 'stat::number_of_executed_units: [0-9]*' "$out/$t.log" | grep -o '[0-9]*$') runs, no findings"
        rm -rf "$work"
    else
        echo "fuzz_$t FAILED:"; tail -40 "$out/$t.log"; rm -rf "$work"; return 1
    fi
}

status=0
pids=()
for t in $targets; do
    run_one "$t" & pids+=($!)
    if [ ${#pids[@]} -ge "$(nproc)" ]; then
        wait "${pids[0]}" || status=1
        pids=("${pids[@]:1}")
    fi
done
for p in "${pids[@]}"; do wait "$p" || status=1; done
exit $status
