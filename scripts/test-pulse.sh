#!/usr/bin/env bash
# The end-to-end playback and capture suite once through SDL's pulseaudio driver, the path Linux
# desktops take, against a private PulseAudio server whose null sink and source run in real time.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
scripts/build.sh linux
. scripts/pulse-server.sh
scratch=$(mktemp -d)
trap 'pulse_stop; rm -rf "$scratch"' EXIT
pulse_start "$scratch/pulse"
# In four shards side by side, as ctest runs the suite, each with its own scratch directory.
pids=()
for shard in 0 1 2 3; do
  mkdir -p "$scratch/$shard"
  SDL_AUDIODRIVER=pulseaudio GTEST_TOTAL_SHARDS=4 GTEST_SHARD_INDEX=$shard TEST_TMPDIR="$scratch/$shard/" \
    build/tests/api/api_tests --gtest_filter='PlaybackTest.*:Capture.*' --gtest_brief=1 >"$scratch/$shard.log" 2>&1 &
  pids+=($!)
done
failed=0
for shard in 0 1 2 3; do
  if ! wait "${pids[$shard]}"; then
    cat "$scratch/$shard.log" >&2
    failed=1
  fi
done
[ "$failed" -eq 0 ] && echo "ok: playback and capture through SDL's pulseaudio driver"
# A capture whose sound server dies under it, on a server of its own that the test kills.
pulse_stop
pulse_start "$scratch/pulse-lost"
mkdir -p "$scratch/lost"
if ! (cd "$scratch/lost" && SDL_AUDIODRIVER=pulseaudio BRIVANE_TEST_PULSE_PID=$PULSE_TEST_PID TEST_TMPDIR="$scratch/lost/" \
    "$root/build/tests/api/api_tests" --gtest_filter='DeviceLoss.*' --gtest_brief=1 >"$scratch/lost.log" 2>&1); then
  cat "$scratch/lost.log" >&2
  failed=1
fi
[ "$failed" -eq 0 ] && echo "ok: a capture whose sound server dies ends in a failure"
exit "$failed"
