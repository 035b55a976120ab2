#!/usr/bin/env bash
# The C and C++ files as .clang-format writes them, then every suite: Linux plain, under
# AddressSanitizer+UBSan and ThreadSanitizer, playback and capture through a PulseAudio server, the
# 32-bit suites under qemu-i386, the Debian package and the Python module against the plain build,
# the fuzz targets for 30 s each (BRIVANE_FUZZ_SECONDS), then the Windows builds. Each stage's line
# says when it started, so a slow stage shows in CI's log.
set -euo pipefail
cd "$(dirname "$0")/.."
export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}
export LSAN_OPTIONS=suppressions=$(pwd)/scripts/lsan-suppressions.txt
fuzz_seconds=${BRIVANE_FUZZ_SECONDS:-30}
stage() { echo "== $1 (at $(( SECONDS / 60 )) min $(( SECONDS % 60 )) s)"; }
stage "format"
scripts/check-format.sh
# The suites mostly wait on real-time audio, so ctest runs several (and the shards of the long ones)
# side by side.
jobs=$(( $(nproc) * 2 ))
for flavour in linux asan tsan; do
  stage "$flavour"
  scripts/build.sh "$flavour"
  dir=build; [ "$flavour" != linux ] && dir=build-$flavour
  ctest --test-dir "$dir" --output-on-failure --timeout 600 -j "$jobs"
done
stage "pulseaudio"
scripts/test-pulse.sh
stage "i386"
scripts/test-i386.sh
stage "package and python module"
scripts/test-package.sh
scripts/test-python.sh
stage "fuzz"
scripts/build.sh fuzz
mkdir -p build-fuzz/findings
# New inputs go to a scratch directory; the kept corpus is only read. A finding is kept.
fuzz() {
  local name=$1 scratch
  scratch=$(mktemp -d)
  if build-fuzz/fuzz/"$name"/"$name" -max_total_time="$fuzz_seconds" -timeout=10 -artifact_prefix=build-fuzz/findings/"$name"- \
      "$scratch" fuzz/"$name"/corpus >build-fuzz/"$name".log 2>&1; then
    echo "ok: $name, $(grep -o 'Done [0-9]* runs' build-fuzz/"$name".log) in $fuzz_seconds s," \
      "$(grep -o 'cov: [0-9]*' build-fuzz/"$name".log | tail -n 1) edges covered"
  else
    tail -n 40 build-fuzz/"$name".log >&2
    echo "FAIL: fuzz target $name found a crash, hang or leak (see build-fuzz/findings)" >&2
    rm -rf "$scratch"
    return 1
  fi
  rm -rf "$scratch"
}
# One target per core at a time.
pids=()
for target in fuzz/*/; do
  fuzz "$(basename "$target")" &
  pids+=($!)
  if [ ${#pids[@]} -ge "$(nproc)" ]; then
    wait "${pids[0]}"
    pids=("${pids[@]:1}")
  fi
done
for pid in "${pids[@]}"; do wait "$pid"; done
stage "windows"
scripts/test-windows.sh
echo "== all passed in $(( SECONDS / 60 )) min $(( SECONDS % 60 )) s"
