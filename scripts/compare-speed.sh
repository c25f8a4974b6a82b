#!/usr/bin/env bash
# Compares the render speed of two wavrender builds.
#
#   scripts/compare-speed.sh A B [ROUNDS]
#
# A and B are wavrender executables. On a shared machine the speed of one
# core drifts by several per cent from minute to minute, more than most
# single changes are worth, so one run after the other says little. Here A
# and B render at the same time, one per core, ROUNDS times (default 3), and
# swap cores every round; each line gives both times and B's time over A's.
# The last line is the mean of those ratios: below 1 means B is faster.
set -euo pipefail

if [ $# -lt 2 ]; then
    echo "usage: $0 A B [ROUNDS]" >&2
    exit 2
fi
a="$(realpath "$1")"
b="$(realpath "$2")"
rounds="${3:-3}"
for exe in "$a" "$b"; do
    [ -x "$exe" ] || { echo "$0: $exe is not an executable" >&2; exit 2; }
done
[ "$(nproc)" -ge 2 ] || { echo "$0: needs two cores" >&2; exit 2; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir "$work/a" "$work/b"

# The render time from wavrender's "Finished in 7.5s (18.4x)." line.
render_seconds() {
    (cd "$1" && taskset -c "$2" "$3") | sed -n 's/^Finished in \([0-9.]*\)s.*/\1/p'
}

sum=0
for round in $(seq "$rounds"); do
    core_a=$(( (round + 1) % 2 ))
    core_b=$(( round % 2 ))
    render_seconds "$work/a" "$core_a" "$a" >"$work/a.time" &
    render_seconds "$work/b" "$core_b" "$b" >"$work/b.time" &
    wait
    ta="$(cat "$work/a.time")"
    tb="$(cat "$work/b.time")"
    [ -n "$ta" ] && [ -n "$tb" ] || { echo "$0: a render did not finish" >&2; exit 1; }
    ratio="$(awk -v a="$ta" -v b="$tb" 'BEGIN { printf "%.4f", b / a }')"
    sum="$(awk -v s="$sum" -v r="$ratio" 'BEGIN { printf "%.4f", s + r }')"
    echo "round $round: A ${ta} s, B ${tb} s, B/A ${ratio}"
done
echo "mean B/A: $(awk -v s="$sum" -v n="$rounds" 'BEGIN { printf "%.4f", s / n }')"
