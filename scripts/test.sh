#!/usr/bin/env bash
# Every suite: Linux plain, under AddressSanitizer+UBSan and ThreadSanitizer, the Debian package and
# the Python module against the plain build, the fuzz targets for 60 s each, then the Windows builds.
set -euo pipefail
cd "$(dirname "$0")/.."
export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}
export LSAN_OPTIONS=suppressions=$(pwd)/scripts/lsan-suppressions.txt
for flavour in linux asan tsan; do
  echo "== $flavour"
  scripts/build.sh "$flavour"
  dir=build; [ "$flavour" != linux ] && dir=build-$flavour
  ctest --test-dir "$dir" --output-on-failure --timeout 600
done
echo "== package and python module"
scripts/test-package.sh
scripts/test-python.sh
echo "== fuzz"
scripts/build.sh fuzz
for target in fuzz/*/; do
  name=$(basename "$target")
  # New inputs go to a scratch directory; the kept corpus is only read. A finding is kept.
  scratch=$(mktemp -d)
  mkdir -p build-fuzz/findings
  if build-fuzz/fuzz/"$name"/"$name" -max_total_time=60 -timeout=10 -artifact_prefix=build-fuzz/findings/"$name"- \
      "$scratch" "$target"corpus >build-fuzz/"$name".log 2>&1; then
    echo "ok: $name, $(grep -o 'Done [0-9]* runs' build-fuzz/"$name".log) in 60 s"
  else
    tail -n 40 build-fuzz/"$name".log >&2
    echo "FAIL: fuzz target $name found a crash, hang or leak (see build-fuzz/findings)" >&2
    exit 1
  fi
  rm -rf "$scratch"
done
echo "== windows"
scripts/test-windows.sh
