#!/usr/bin/env bash
# Fuzzes every built target for a while and prints how many inputs each ran.
#   fuzz/run_all.sh <build folder> <seconds per target>
# New inputs go to <build>/fuzz/work/<target>, crashes to
# <build>/fuzz/work/artifacts; the committed corpus is only read.
set -euo pipefail

build=${1:?build folder}
seconds=${2:-60}
root=$(cd "$(dirname "$0")" && pwd)
work="$build/fuzz/work"
mkdir -p "$work/artifacts"

status=0
printf '%-28s %12s %10s %s\n' target executions exec/s result
for corpus in "$root"/corpus/*/; do
    target=$(basename "$corpus")
    binary="$build/fuzz/$target"
    if [ ! -x "$binary" ]; then
        printf '%-28s %12s %10s %s\n' "$target" - - "not built"
        continue
    fi
    mkdir -p "$work/$target"
    options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
             -artifact_prefix="$work/artifacts/$target-")
    [ -f "$root/dict/$target.dict" ] && options+=(-dict="$root/dict/$target.dict")
    log="$work/$target.log"
    result=ok
    "$binary" "${options[@]}" "$work/$target" "$corpus" >"$log" 2>&1 || { result="FAILED (see $log)"; status=1; }
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    printf '%-28s %12s %10s %s\n' "$target" "${runs:-?}" "$(( ${runs:-0} / seconds ))" "$result"
done
exit $status
