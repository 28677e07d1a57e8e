#!/usr/bin/env bash
# pack-bench.sh - packs each category of the benchmark corpus into one archive
# with `pelkoran-cli pack --same-place` and prints size, ratio, speed and peak
# memory beside `tar | gzip -6`, measured in the same run and in turns with
# ours; then the decoding speed of `pelkoran-cli test` beside `lhasa t` on the
# same archives.
#
# usage: bench/pack-bench.sh CORPUS [RUNS] [METHOD,...] [LEVEL]
#   CORPUS   a directory made by bench/make-corpus.sh (en-text ja-text source binary compressed)
#   RUNS     timed runs per measurement after one warm-up (default 3; the median is shown)
#   METHOD   lh5, lh6, lh7 (default lh5)
#   LEVEL    fast, normal, best (default normal)
# Environment: CLI (default build/bin/pelkoran-cli), CATS (categories to run),
#   CORES: "1" (everything under taskset -c 0), "2" (no pinning), or "1,2"
#   (default: both, and the speed-up of two cores over one per category,
#   from runs of its own on one core and on two in turns).
#   DECODE=0 skips the test/lhasa comparison.
#   RESULTS: the file that gets this run's output as a table with the
#   conditions it ran under (default bench/results.md for lh5 normal,
#   bench/results-METHODS-LEVEL.md otherwise; empty: none). Kept in the
#   repository, so that a change shows its effect in review.
# pack writes CATEGORY.lzh beside the category directory; it is moved away
# after each run, so the corpus is left as it was.
set -euo pipefail

corpus=$(cd "${1:?usage: pack-bench.sh CORPUS [RUNS] [METHODS] [LEVEL]}" && pwd)
runs=${2:-3}
methods=${3:-lh5}
level=${4:-normal}
root=$(cd "$(dirname "$0")/.." && pwd)
default_results=$root/bench/results.md
[ "$methods/$level" = lh5/normal ] || default_results=$root/bench/results-${methods//,/-}-$level.md
results=${RESULTS-$default_results}

# With a results file the run goes on in a child whose output is copied there.
if [ -n "$results" ] && [ -z "${PACK_BENCH_CHILD:-}" ]; then
    out=$(mktemp)
    load_before=$(cut -d' ' -f1-3 /proc/loadavg)
    rc=0
    PACK_BENCH_CHILD=1 "$0" "$@" | tee "$out" || rc=$?
    if [ "$rc" = 0 ]; then
        {
            echo "# pack-bench results"
            echo
            echo "Written by \`bench/pack-bench.sh\`; run it again to bring this file up to date."
            echo
            echo "- run: \`pack-bench.sh $*\`${CATS:+ CATS=\"$CATS\"}${CORES:+ CORES=$CORES}"
            echo "- date: $(date -u '+%Y-%m-%d %H:%M UTC'), commit $(git -C "$root" rev-parse --short HEAD 2>/dev/null || echo '?')"
            echo "- machine: $(nproc) cores, $(sed -n 's/^model name[^:]*: //p' /proc/cpuinfo | head -1)"
            echo "- load average (1, 5, 15 min) before: $load_before; after: $(cut -d' ' -f1-3 /proc/loadavg)"
            echo "- columns: bytes in and out, ratio, MB/s (10^6 bytes in per second), peak RSS, gzip -6's"
            echo "  time (tar | gzip -6 of the same directory, timed in turns with ours), our time over"
            echo "  gzip's, gzip's bytes, our size against the reference LZH archiver's"
            echo
            echo '```'
            cat "$out"
            echo '```'
        } > "$results"
    fi
    rm -f "$out"
    exit "$rc"
fi
cli=$(realpath "${CLI:-$root/build/bin/pelkoran-cli}")
cats=${CATS:-"en-text ja-text source binary compressed"}
cores_list=${CORES:-1,2}
decode=${DECODE:-1}
work=$(mktemp -d)
trap 'rm -rf "$work"; for c in $cats; do rm -f "$corpus/$c.lzh"; done' EXIT

# Sizes of the reference LZH archiver on the same corpus (per method).
declare -A ref_lh5=([en-text]=7453003 [ja-text]=9181879 [source]=5304607 [binary]=11531245 [compressed]=20826621)
declare -A ref_lh7=([en-text]=7023167 [ja-text]=8813068 [source]=5121070 [binary]=11069178 [compressed]=20774965)

# timed CMD... : runs CMD under /usr/bin/time, prints "seconds peak_kib".
timed() {
    /usr/bin/time -f '%e %M' -o "$work/time" $pin "$@" >/dev/null 2>"$work/err" || {
        echo "failed: $*" >&2; cat "$work/err" >&2; exit 1; }
    cat "$work/time"
}
median() { sort -g | awk '{v[NR]=$1} END {print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }

ours() {   # ours CAT METHOD -> packs CORPUS/CAT into $work/CAT.lzh
    rm -f "$corpus/$1.lzh"
    timed "$cli" pack --same-place --method "$2" --level "$level" "$corpus/$1"
    mv "$corpus/$1.lzh" "$work/$1.lzh"
}
gz() { timed sh -c "cd '$corpus' && tar --sort=name -cf - '$1' | gzip -6 > '$work/$1.tar.gz'"; }

for cores in ${cores_list//,/ }; do
    pin=""
    [ "$cores" = 1 ] && pin="taskset -c 0"
    echo "== $cores core(s)${pin:+ ($pin)}, level $level"
    printf '%-11s %-4s %11s %11s %7s %8s %8s %7s %8s %11s %8s\n' \
        category meth bytes-in bytes-out ratio MB/s RSS-MiB gz-s ours/gz gz-bytes vs-ref
    for m in ${methods//,/ }; do
        tot_ours=0; tot_gz=0
        for c in $cats; do
            bytes_in=$(du -sb --apparent-size "$corpus/$c" | cut -f1)
            ours "$c" "$m" >/dev/null; gz "$c" >/dev/null            # warm-up
            : > "$work/t_ours"; : > "$work/t_gz"; : > "$work/rss"
            for _ in $(seq "$runs"); do                                # in turns
                read -r s k < <(ours "$c" "$m"); echo "$s" >> "$work/t_ours"; echo "$k" >> "$work/rss"
                read -r s _ < <(gz "$c"); echo "$s" >> "$work/t_gz"
            done
            t_ours=$(median < "$work/t_ours"); t_gz=$(median < "$work/t_gz")
            rss=$(sort -n "$work/rss" | tail -1)
            out=$(stat -c %s "$work/$c.lzh"); gzb=$(stat -c %s "$work/$c.tar.gz")
            ref=""
            [ "$m" = lh5 ] && ref=${ref_lh5[$c]:-}
            [ "$m" = lh7 ] && ref=${ref_lh7[$c]:-}
            vs=$([ -n "$ref" ] && awk -v o="$out" -v r="$ref" 'BEGIN{printf "%+.2f%%", 100*(o-r)/r}' || echo -)
            awk -v c="$c" -v m="$m" -v i="$bytes_in" -v o="$out" -v t="$t_ours" -v g="$t_gz" -v r="$rss" \
                -v gb="$gzb" -v vs="$vs" 'BEGIN{printf "%-11s %-4s %11d %11d %6.2f%% %8.1f %8.1f %7.2f %8.2f %11d %8s\n",
                c, m, i, o, 100*o/i, (t>0 ? i/t/1e6 : 0), r/1024, g, (g>0 ? t/g : 0), gb, vs}'
            tot_ours=$(awk -v a="$tot_ours" -v b="$t_ours" 'BEGIN{print a+b}')
            tot_gz=$(awk -v a="$tot_gz" -v b="$t_gz" 'BEGIN{print a+b}')
            "$cli" test "$work/$c.lzh" >/dev/null || { echo "archive of $c fails its own test" >&2; exit 1; }
        done
        awk -v m="$m" -v a="$tot_ours" -v b="$tot_gz" \
            'BEGIN{printf "%-11s %-4s whole corpus: ours %.2f s, gzip -6 %.2f s, ours/gz %.2f\n", "total", m, a, b, a/b}'
    done
done

# The speed-up is measured apart from the tables above: each category packed
# on one core and on two in turns, so that a change in the machine's load
# (a shared machine) hits both sides alike, timed to the microsecond. Taking
# it from the tables compared runs made minutes apart at a resolution of
# 10 ms, which on a busy machine swung by 0.3x between two runs of the same
# program.
if [[ ",$cores_list," == *,1,* && ",$cores_list," == *,2,* ]]; then
    wall() {   # wall CMD... : runs CMD, prints its wall time in seconds
        local s=$EPOCHREALTIME
        "$@" >/dev/null 2>"$work/err" || { echo "failed: $*" >&2; cat "$work/err" >&2; exit 1; }
        local e=$EPOCHREALTIME
        awk -v s="${s/,/.}" -v e="${e/,/.}" 'BEGIN{printf "%.6f\n", e-s}'
    }
    echo "== two cores over one core (median of $runs runs in turns: time on 1 core / time on 2 cores)"
    for m in ${methods//,/ }; do
        for c in $cats; do
            : > "$work/t1"; : > "$work/t2"
            for _ in $(seq "$runs"); do
                rm -f "$corpus/$c.lzh"
                wall taskset -c 0 "$cli" pack --same-place --method "$m" --level "$level" "$corpus/$c" >> "$work/t1"
                rm -f "$corpus/$c.lzh"
                wall "$cli" pack --same-place --method "$m" --level "$level" "$corpus/$c" >> "$work/t2"
                rm -f "$corpus/$c.lzh"
            done
            a=$(median < "$work/t1"); b=$(median < "$work/t2")
            awk -v c="$c" -v m="$m" -v a="$a" -v b="$b" \
                'BEGIN{printf "%-11s %-4s speed-up %.2fx  (%.3f s / %.3f s)\n", c, m, (b>0 ? a/b : 0), a, b}'
        done
    done
fi

if [ "$decode" = 1 ] && command -v lhasa >/dev/null; then
    pin=""
    echo "== decoding the last archives: pelkoran-cli test vs lhasa t (median of $runs, in turns)"
    printf '%-11s %9s %9s %9s\n' category test-s lhasa-s lhasa/test
    tot_t=0; tot_l=0
    for c in $cats; do
        : > "$work/t_test"; : > "$work/t_lhasa"
        timed "$cli" test "$work/$c.lzh" >/dev/null; timed lhasa t "$work/$c.lzh" >/dev/null
        for _ in $(seq "$runs"); do
            read -r s _ < <(timed "$cli" test "$work/$c.lzh"); echo "$s" >> "$work/t_test"
            read -r s _ < <(timed lhasa t "$work/$c.lzh"); echo "$s" >> "$work/t_lhasa"
        done
        t=$(median < "$work/t_test"); l=$(median < "$work/t_lhasa")
        awk -v c="$c" -v t="$t" -v l="$l" 'BEGIN{printf "%-11s %9.2f %9.2f %9.2f\n", c, t, l, (t>0 ? l/t : 0)}'
        tot_t=$(awk -v a="$tot_t" -v b="$t" 'BEGIN{print a+b}')
        tot_l=$(awk -v a="$tot_l" -v b="$l" 'BEGIN{print a+b}')
    done
    awk -v t="$tot_t" -v l="$tot_l" 'BEGIN{printf "%-11s %9.2f %9.2f %9.2f\n", "total", t, l, (t>0 ? l/t : 0)}'
fi
