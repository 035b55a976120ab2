#!/usr/bin/env bash
# The end-to-end playback and capture suite once through SDL's pulseaudio driver, the path Linux
# desktops take, against a private PulseAudio server whose null sink and source run in real time.
# The pass must show that the suite's streams reached that server: every shard's process played on
# the null sink, what it played was heard on the sink's monitor, and captures recorded from the
# null source.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
scripts/build.sh linux api_tests
. scripts/pulse-server.sh
scratch=$(mktemp -d)
monitor=
cleanup() {
  [ -z "$monitor" ] || kill "$monitor" 2>/dev/null || true
  pulse_stop
  rm -rf "$scratch"
}
trap cleanup EXIT
pulse_start "$scratch/pulse"
# What reaches the null sink, as its monitor hears it, for the whole run.
: >"$scratch/monitor.raw"
parecord --device=brivane_sink.monitor --raw --format=s16le --channels=2 --rate=44100 "$scratch/monitor.raw" &
monitor=$!
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
kill "$monitor" 2>/dev/null || true
wait "$monitor" 2>/dev/null || true
monitor=

# The proof that the server carried the suite's audio, not a fallback driver or nothing at all.
playback=$(pulse_streams input brivane_sink)
recording=$(pulse_streams output brivane_source)
for shard in 0 1 2 3; do
  if ! grep -qx "${pids[$shard]}" <<<"$playback"; then
    echo "FAIL: shard $shard (process ${pids[$shard]}) opened no playback stream on the server's null sink" >&2
    failed=1
  fi
done
heard=$(tr -d '\000' <"$scratch/monitor.raw" | wc -c)
if [ "$heard" -eq 0 ]; then
  echo "FAIL: the null sink's monitor heard only silence ($(wc -c <"$scratch/monitor.raw") bytes recorded)" >&2
  failed=1
fi
if [ -z "$recording" ]; then
  echo "FAIL: no capture stream recorded from the server's null source" >&2
  failed=1
fi
echo "server: $(grep -c . <<<"$playback") playback streams on brivane_sink, $heard non-zero bytes on its monitor;" \
  "$(grep -c . <<<"$recording") capture streams on brivane_source"
[ "$failed" -eq 0 ] && echo "ok: playback and capture through SDL's pulseaudio driver reached the PulseAudio server"
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
