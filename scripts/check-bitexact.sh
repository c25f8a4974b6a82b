#!/usr/bin/env bash
# Checks that a speed-up left the track bit for bit as it was.
#
#   scripts/check-bitexact.sh [BASELINE] [BUILD_DIR]
#
# BASELINE is a commit of the engine to compare against (default: HEAD);
# BUILD_DIR is the working tree's build directory (default: build-perf).
#
# The score and the drums may change in parallel with the engine, which
# changes the track legitimately, so both sides render the SAME content: the
# baseline commit is checked out into a temporary worktree, the working
# tree's content/ is copied over its own, and both renderers write the whole
# track. The two WAV files must be identical byte for byte.
#
# The baseline's WAV digest is kept in the build directory under the pair
# (baseline commit, content digest), so repeated checks against one baseline
# build and render it only once.
set -euo pipefail

repo="$(cd "$(dirname "$0")/.." && pwd)"
baseline="${1:-HEAD}"
build_dir="${2:-$repo/build-perf}"
case "$build_dir" in /*) ;; *) build_dir="$repo/$build_dir" ;; esac
wav_name='[lumenfrost_32k].exe.wav'

commit="$(git -C "$repo" rev-parse --verify "$baseline^{commit}")"
# The content as the working tree has it, committed or not.
content_digest="$(cd "$repo" && find content -type f -print0 | LC_ALL=C sort -z |
    xargs -0 sha256sum | sha256sum | cut -c1-16)"
cache_dir="$build_dir/bitexact-baselines"
cache_file="$cache_dir/${commit:0:12}-$content_digest.sha256"

scratch="$(mktemp -d)"
worktree=""
cleanup() {
    if [ -n "$worktree" ]; then git -C "$repo" worktree remove --force "$worktree" || true; fi
    rm -rf "$scratch"
}
trap cleanup EXIT

# Renders with the given wavrender in a scratch folder; prints the WAV's digest.
render() {
    local program="$1" dir="$2"
    mkdir -p "$dir"
    (cd "$dir" && "$program" >render.log) || {
        cat "$dir/render.log" >&2
        return 1
    }
    grep -h '^Finished' "$dir/render.log" >&2
    sha256sum "$dir/$wav_name" | cut -d' ' -f1
}

if [ -f "$cache_file" ]; then
    base_digest="$(cat "$cache_file")"
    echo "baseline ${commit:0:12} with content $content_digest: cached $base_digest"
else
    echo "building baseline ${commit:0:12} with the working tree's content ..."
    worktree="$scratch/baseline"
    git -C "$repo" worktree add --detach --quiet "$worktree" "$commit"
    rm -rf "$worktree/content"
    cp -a "$repo/content" "$worktree/content"
    cmake -S "$worktree" -B "$worktree/build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$worktree/build" -j2 --target wavrender >"$scratch/baseline-build.log" 2>&1 || {
        tail -30 "$scratch/baseline-build.log" >&2
        exit 1
    }
    echo "rendering the baseline ..."
    base_digest="$(render "$worktree/build/renderer/wavrender" "$scratch/render-baseline")"
    mkdir -p "$cache_dir"
    echo "$base_digest" >"$cache_file"
fi

echo "building the working tree in $build_dir ..."
cmake -S "$repo" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DLUMENFROST_CONTENT_DIR="$repo/content" >/dev/null
cmake --build "$build_dir" -j2 --target wavrender >"$scratch/build.log" 2>&1 || {
    tail -30 "$scratch/build.log" >&2
    exit 1
}
echo "rendering the working tree ..."
work_digest="$(render "$build_dir/renderer/wavrender" "$scratch/render-work")"

echo "baseline     $base_digest"
echo "working tree $work_digest"
if [ "$base_digest" != "$work_digest" ]; then
    echo "DIFFERENT: the working tree does not render the baseline's track" >&2
    exit 1
fi
echo "bit-identical"
