#!/usr/bin/env bash
# Re-renders the whole track and stores its hash, after a deliberate change of
# the music (score or drums). Never run it to make a speed-up pass.
set -euo pipefail
cd "$(dirname "$0")/.."
make build >/dev/null
LUMENFROST_UPDATE_TRACK_HASH=1 build/tests/track/test_track
