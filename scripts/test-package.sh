#!/usr/bin/env bash
# Builds the Debian package from build/ (`make package`), unpacks it into a scratch root with
# dpkg-deb -x and checks it as a user's system would see it: the versioned library and its links,
# the declared dependencies, the C example built through pkg-config and run against it, and an
# installed CLI that stays quiet unless BRIVANE_DEBUG asks.
set -euo pipefail
cd "$(dirname "$0")/.."
export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAIL: package: $*" >&2
  exit 1
}

(cd build && cpack >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log" >&2; fail "cpack failed"; }
deb=$(ls -t build/brivane_*.deb | head -n 1)
dpkg-deb -f "$deb" Depends | grep -q libsdl2 || fail "$deb declares no dependency on SDL2: $(dpkg-deb -f "$deb" Depends)"
root=$work/root
dpkg-deb -x "$deb" "$root"
lib=$(dirname "$(find "$root" -name 'libbrivane.so.*.*.*')")
[ "$(readlink "$lib/libbrivane.so.0")" = libbrivane.so.0.1.0 ] || fail "libbrivane.so.0 does not point at libbrivane.so.0.1.0"
[ "$(readlink "$lib/libbrivane.so")" = libbrivane.so.0 ] || fail "libbrivane.so does not point at libbrivane.so.0"
readelf -d "$lib/libbrivane.so.0.1.0" | grep -q 'SONAME.*\[libbrivane.so.0\]' || fail "the SONAME is not libbrivane.so.0"

# The C example, built as a user would against the unpacked package.
pc=$(find "$root" -name brivane.pc)
flags=$(PKG_CONFIG_PATH=$(dirname "$pc") pkg-config --define-prefix --cflags --libs brivane) || fail "pkg-config failed"
# shellcheck disable=SC2086
cc -std=c11 -Wall -Wextra -Werror -o "$work/play" examples/c/play.c examples/c/host.c $flags ||
  fail "the C example does not build with '$flags'"
readelf -d "$work/play" | grep -q 'NEEDED.*\[libbrivane.so.0\]' || fail "the example does not depend on libbrivane.so.0"
export LD_LIBRARY_PATH=$lib
ffmpeg -nostdin -loglevel error -f lavfi -i sine=frequency=440:sample_rate=16000:duration=0.5 -ac 1 \
  -c:a pcm_s16le "$work/tone.wav"
"$work/play" "$work/tone.wav" >"$work/play.log" 2>&1 || { cat "$work/play.log" >&2; fail "the example did not play"; }
grep -qx 'end: 16000 bytes of PCM in 10 blocks' "$work/play.log" || { cat "$work/play.log" >&2; fail "the example played wrongly"; }

# Quiet by default: a failed open leaves the host's output to the host.
printf 'not a medium' >"$work/junk.wma"
"$work/play" "$work/junk.wma" >"$work/junk.log" 2>&1 && fail "the example played a file that is not a medium"
[ "$(cat "$work/junk.log")" = "command failed" ] || { cat "$work/junk.log" >&2; fail "the library printed lines of its own"; }
BRIVANE_DEBUG=1 "$work/play" "$work/junk.wma" >"$work/debug.log" 2>&1 || true
grep -q '(hr=0X' "$work/debug.log" || { cat "$work/debug.log" >&2; fail "BRIVANE_DEBUG=1 showed no diagnostics"; }

# The installed CLI finds its library and says what went wrong in one line.
rc=0
"$root/usr/bin/brivane" play "$work/nosuch.wma" >"$work/cli.log" 2>&1 || rc=$?
[ "$(wc -l <"$work/cli.log")" -eq 1 ] && grep -q 'not found\|No such file' "$work/cli.log" && [ "$rc" -eq 3 ] ||
  { cat "$work/cli.log" >&2; fail "brivane play of a missing file exited with $rc"; }
echo "ok: package $(basename "$deb")"
