#!/usr/bin/env bash
# The end-to-end playback and capture suite once through SDL's pulseaudio driver, the path Linux
# desktops take, against a private PulseAudio server whose null sink and source run in real time.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh linux
. scripts/pulse-server.sh
scratch=$(mktemp -d)
trap 'pulse_stop; rm -rf "$scratch"' EXIT
pulse_start "$scratch/pulse"
SDL_AUDIODRIVER=pulseaudio build/tests/api/api_tests --gtest_filter='PlaybackTest.*:Capture.*' \
  --gtest_brief=1
