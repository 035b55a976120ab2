#!/usr/bin/env bash
# Runs one example host on media made here and checks its exit codes, its output and, with ffprobe,
# the files it wrote. usage: check.sh play|convert|record BINDIR WORKDIR PROFILE
set -euo pipefail
what=$1 bin=$(realpath "$2") work=$3 profile=$(realpath "$4")
rm -rf "$work"
mkdir -p "$work"
cd "$work"

fail() {
  echo "FAIL: $*" >&2
  exit 1
}
# Runs a command that must exit with the given code; its output goes to the named log.
expect_exit() {
  local code=$1 log=$2 rc=0
  shift 2
  "$@" >"$log" 2>&1 || rc=$?
  [ "$rc" -eq "$code" ] || { cat "$log" >&2; fail "$* exited with $rc, not $code"; }
}
probe() {
  ffprobe -v error -select_streams a:0 -show_entries "$1" -of csv=p=0 "$2"
}
# The audio decoded from the file must last the expected ms within tolerance. A header written
# while streaming gives no duration, so the decoded samples are counted.
expect_duration() {
  local file=$1 expected=$2 tolerance=$3 ms
  ms=$(ffmpeg -nostdin -v error -i "$file" -f s16le -ac 1 -ar 16000 - | wc -c | awk '{ printf "%d", $1 / 32 }')
  [ "$ms" -gt 0 ] && [ $((ms > expected ? ms - expected : expected - ms)) -le "$tolerance" ] ||
    fail "$file holds $ms ms of audio, expected $expected ± $tolerance"
}
tone() {
  ffmpeg -nostdin -loglevel error -y -f lavfi -i "sine=frequency=440:sample_rate=16000:duration=$1" \
    -ac 1 "${@:2}"
}
# 1.5 s of a 440 Hz tone at 16 kHz mono 16-bit: 48000 bytes of PCM, 30 blocks of 50 ms. Bit-exact, so
# no metadata chunk stands between the format and the data, as direct WAV playing requires.
tone 1.5 -c:a pcm_s16le -fflags +bitexact -map_metadata -1 tone.wav
printf 'not a medium' >junk.bin

case $what in
play)
  for mode in "" --wav; do
    expect_exit 0 "play$mode.log" "$bin/play" tone.wav $mode
    for line in 'format: 16000 Hz, 1 channels, 16 bits, 1500 ms long' playing 'end: 48000 bytes of PCM in 30 blocks'; do
      grep -qx "$line" "play$mode.log" || { cat "play$mode.log" >&2; fail "play $mode: no line '$line'"; }
    done
  done
  expect_exit 1 junk.log "$bin/play" junk.bin
  grep -qx 'command failed' junk.log || fail "play of a file that is not a medium reported no failure"
  expect_exit 2 usage.log "$bin/play"
  ;;
convert)
  expect_exit 0 to-wma.log "$bin/convert" to-wma tone.wav tone.wma "$profile"
  [ "$(probe stream=codec_name,sample_rate,channels tone.wma)" = wmav2,16000,1 ] || fail "tone.wma is not 16 kHz mono WMA"
  expect_duration tone.wma 1500 150
  expect_exit 0 to-wav.log "$bin/convert" to-wav tone.wma back.wav
  [ "$(probe stream=codec_name,sample_rate,channels back.wav)" = pcm_s16le,16000,1 ] || fail "back.wav is not 16 kHz mono PCM"
  expect_duration back.wav 1500 150
  grep -qx 'back.wav: 1[45][0-9][0-9] ms' to-wav.log || fail "convert reported $(cat to-wav.log)"
  expect_exit 1 junk-wma.log "$bin/convert" to-wma junk.bin junk.wma "$profile"
  expect_exit 1 junk-wav.log "$bin/convert" to-wav junk.bin junk.wav
  expect_exit 1 no-profile.log "$bin/convert" to-wma tone.wav x.wma missing.prx
  expect_exit 2 usage.log "$bin/convert" to-wma tone.wav
  ;;
record)
  # SDL's disk driver records from a file: 4 s of the tone, more than the recording takes.
  tone 4 -f s16le input.raw
  expect_exit 0 record.log env SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILEIN=input.raw SDL_DISKAUDIOFILE=/dev/null \
    "$bin/record" recording.wma "$profile"
  [ "$(probe stream=codec_name,sample_rate,channels recording.wma)" = wmav2,16000,1 ] ||
    fail "recording.wma is not 16 kHz mono WMA"
  expect_duration recording.wma 2000 300
  # The tone recorded is about -21 dB; silence or noise would be far below or far above.
  level=$(ffmpeg -nostdin -i recording.wma -af volumedetect -f null - 2>&1 | sed -n 's/.*mean_volume: \(-*[0-9.]*\) dB/\1/p')
  awk -v level="$level" 'BEGIN { exit !(level > -27 && level < -15) }' || fail "recording.wma has a mean level of $level dB"
  expect_exit 1 no-profile.log "$bin/record" x.wma missing.prx
  expect_exit 2 usage.log "$bin/record" x.wma "$profile" 0
  ;;
*) fail "unknown example $what" ;;
esac
echo "ok: $what"
