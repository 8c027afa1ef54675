#!/bin/sh
# Builds the fuzz targets with clang into build-fuzz/ and runs each for the
# given number of seconds (60 unless given), two at a time. The committed
# corpus (tests/fuzz/corpus/<target>) seeds each run and is never written;
# new inputs go to build-fuzz/corpus/<target>. A failing input is saved as
# build-fuzz/findings/<target>-crash-... and fails the script: add it to the
# committed corpus once fixed, so the ordinary suite replays it.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
TIME=${1:-60}
TARGETS="dialect server_dialect filter connection_string color_setting integer_setting"
OUT="$ROOT/build-fuzz"
"$ROOT/scripts/install-deps.sh"
cmake -S "$ROOT" -B "$OUT" -G Ninja -DCMAKE_CXX_COMPILER=clang++ \
    -DTAVIX_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
# shellcheck disable=SC2086
cmake --build "$OUT" -j2 --target $(printf 'fuzz_%s ' $TARGETS)
mkdir -p "$OUT/findings" "$OUT/logs"

run() {
    mkdir -p "$OUT/corpus/$1"
    "$OUT/tests/fuzz/fuzz_$1" -max_total_time="$TIME" -max_len=4096 -timeout=10 \
        -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$OUT/findings/$1-" \
        "$OUT/corpus/$1" "$ROOT/tests/fuzz/corpus/$1" >"$OUT/logs/$1.log" 2>&1
}

report() {
    # The last status line: executions, coverage, features; then the rate.
    grep -E '^#[0-9]+' "$OUT/logs/$1.log" | tail -n 1 | sed "s/^/$1: /"
    grep -E 'stat::(number_of_executed_units|average_exec_per_sec)' "$OUT/logs/$1.log" |
        sed "s/^/$1: /"
}

status=0
set -- $TARGETS
while [ $# -gt 0 ]; do
    first=$1
    shift
    run "$first" &
    p1=$!
    p2=""
    second=""
    if [ $# -gt 0 ]; then
        second=$1
        shift
        run "$second" &
        p2=$!
    fi
    for t in $first $second; do
        if [ "$t" = "$first" ]; then pid=$p1; else pid=$p2; fi
        if wait "$pid"; then
            report "$t"
        else
            status=1
            report "$t"
            echo "$t: FAILED, see $OUT/logs/$t.log" >&2
            tail -n 40 "$OUT/logs/$t.log" >&2
        fi
    done
done
exit $status
