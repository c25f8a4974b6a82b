#!/usr/bin/env bash
# scripts/fuzz.sh FUZZ_BUILD SECONDS
# Runs the fuzzer of each reader for SECONDS with a fixed seed. The corpus
# starts from content/ and tests/fuzz/regressions/<reader>/; what the fuzzer
# adds stays in FUZZ_BUILD/corpus. A crash, leak, sanitizer report or hang
# stops the run with status 1 and leaves the input in FUZZ_BUILD/crashes.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$1
seconds=$2
root=$PWD

seed_files() {
    case $1 in
        score) ls content/score/*.score ;;
        bundle) echo content/score/score.bin; echo content/samples/sample1.bin ;;
        recipe) ls content/drums/*.recipe ;;
    esac
}
max_len() {
    case $1 in
        score) echo 16384 ;;
        bundle) echo 65536 ;;
        recipe) echo 4096 ;;
    esac
}

status=0
for reader in score bundle recipe; do
    corpus=$build/corpus/$reader
    crashes=$build/crashes/$reader
    mkdir -p "$corpus" "$crashes"
    seed_files $reader | while read -r f; do cp "$f" "$corpus/"; done
    regressions=tests/fuzz/regressions/$reader
    dirs=("$corpus")
    [ -d "$regressions" ] && dirs+=("$regressions")
    log=$build/fuzz_$reader.log
    if (cd "$crashes" && "$root/$build/tests/fuzz/fuzz_$reader" -seed=1 \
            -max_total_time="$seconds" -max_len="$(max_len $reader)" -timeout=20 \
            -rss_limit_mb=2048 -print_final_stats=1 \
            "${dirs[@]/#/$root/}") >"$log" 2>&1; then
        runs=$(grep -o 'Done [0-9]* runs' "$log" | grep -o '[0-9]*' || echo "?")
        echo "fuzz_$reader: $runs executions in ${seconds} s, nothing found"
    else
        echo "fuzz_$reader: FAILED; see $log and $crashes" >&2
        tail -n 30 "$log" >&2
        status=1
    fi
done
exit $status
