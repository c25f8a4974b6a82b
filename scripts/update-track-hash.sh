#!/usr/bin/env bash
# Re-renders the whole track with every reciprocal-estimate model and stores
# each family's hash, after a deliberate change of the music (score or drums).
# The models render each family's track on any processor, so one run on any
# machine keeps every stored hash right. Never run it to make a speed-up pass.
set -euo pipefail
cd "$(dirname "$0")/.."
make configure >/dev/null
cmake --build build --target test_track_intel test_track_amd_zen4
for model in intel amd_zen4; do
    LUMENFROST_UPDATE_TRACK_HASH=1 "build/tests/track/test_track_$model" --gtest_brief=1
done
