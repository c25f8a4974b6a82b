#!/usr/bin/env bash
# wavrender end to end: console lines, file size and header, determinism of
# two renders, and a save that fails (unwritable directory) without claiming
# success or destroying the earlier file.
set -euo pipefail
bin=$(readlink -f "$1")
work=$(mktemp -d /tmp/wavrender-e2e-XXXXXX)
chmod 755 "$work"
trap 'chmod -R u+w "$work" 2>/dev/null; rm -rf "$work"' EXIT
wav='[lumenfrost_32k].exe.wav'
fail() { echo "FAIL: $*" >&2; exit 1; }

run_in() {  # dir, output file; runs wavrender there
    (cd "$1" && "$bin") >"$2" 2>&1
}

mkdir "$work/a" "$work/b"
run_in "$work/a" "$work/a.out" || fail "first render exited $?"

# The console, line by line.
expected_progress=$( { echo "0 / 6093150"; for ((i = 1; i <= 6093149; i *= 2)); do echo "$i / 6093150"; done; } )
grep -E '^[0-9]+ / 6093150$' "$work/a.out" >"$work/progress"
[ "$(wc -l <"$work/progress")" -eq 24 ] || fail "expected 24 progress lines"
[ "$(cat "$work/progress")" = "$expected_progress" ] || fail "progress lines differ"
sed -n 1p "$work/a.out" | grep -qx 'Initializing\.\.\.' || fail "line 1"
sed -n 2p "$work/a.out" | grep -qxE 'Initialization finished in [0-9]+\.[0-9]{6}s\.' || fail "line 2"
sed -n 3p "$work/a.out" | grep -qx 'Rendering audio\.\.\.' || fail "line 3"
sed -n 28p "$work/a.out" | grep -qxE 'Finished in [0-9]+\.[0-9]{6}s \([0-9]+\.[0-9]{6}x\)\.' || fail "timing line"
sed -n 29p "$work/a.out" | grep -qxF "Saving to $wav..." || fail "saving line"
sed -n 30p "$work/a.out" | grep -qx 'Done\.' || fail "done line"
[ "$(wc -l <"$work/a.out")" -eq 30 ] || fail "expected exactly 30 lines"

# The file.
[ "$(stat -c %s "$work/a/$wav")" -eq 46628458 ] || fail "file size"
u32() { od -An -tu4 -j "$1" -N 4 "$work/a/$wav" | tr -d ' '; }
u16() { od -An -tu2 -j "$1" -N 2 "$work/a/$wav" | tr -d ' '; }
tag() { dd if="$work/a/$wav" bs=1 skip="$1" count=4 status=none; }
[ "$(tag 0)$(u32 4)$(tag 8)$(tag 12)$(u32 16)" = "RIFF46628450WAVEfmt 18" ] || fail "RIFF header"
[ "$(u16 20) $(u16 22) $(u32 24) $(u32 28) $(u16 32) $(u16 34) $(u16 36)" = "3 2 44100 352800 8 32 0" ] \
    || fail "fmt chunk"
[ "$(tag 38)$(u32 42) $(u32 46)" = "fact4 5828550" ] || fail "fact chunk"
[ "$(tag 50)$(u32 54)" = "data46628400" ] || fail "data chunk"

# Determinism: a second render in another directory is byte-identical.
run_in "$work/b" "$work/b.out" || fail "second render exited $?"
cmp -s "$work/a/$wav" "$work/b/$wav" || fail "two renders differ"

# Any argument: one line naming the studio's render, exit 2, the WAV untouched.
before=$(stat -c %Y.%s "$work/a/$wav")
set +e
(cd "$work/a" && "$bin" --help) >"$work/args.out" 2>&1
status=$?
set -e
[ "$status" -eq 2 ] || fail "with an argument: exit status $status, expected 2"
[ "$(wc -l <"$work/args.out")" -eq 1 ] || fail "with an argument: expected one line"
grep -qF "lumenfrost render --help" "$work/args.out" || fail "with an argument: no pointer"
[ "$(stat -c %Y.%s "$work/a/$wav")" = "$before" ] || fail "with an argument: the WAV changed"

# A directory the program may not write: the failure is reported, exit 1,
# no "Done.", and the earlier file survives.
echo "earlier good file" >"$work/b/$wav"
chmod 555 "$work/b"
if [ "$(id -u)" -eq 0 ]; then
    runner=(setpriv --reuid=65534 --regid=65534 --clear-groups)
else
    runner=()
fi
set +e
(cd "$work/b" && "${runner[@]}" "$bin") >"$work/c.out" 2>&1
status=$?
set -e
[ "$status" -eq 1 ] || fail "unwritable directory: exit status $status, expected 1"
grep -qxF "Saving to $wav..." "$work/c.out" || fail "no saving line"
grep -qx 'Save failed! Exception info: Permission denied' "$work/c.out" || fail "no failure message"
! grep -q '^Done\.' "$work/c.out" || fail "Done. printed after a failed save"
[ "$(cat "$work/b/$wav")" = "earlier good file" ] || fail "earlier file destroyed"
[ "$(ls -A "$work/b")" = "$wav" ] || fail "stray files left"
echo "wavrender end to end: ok"
