#!/usr/bin/env bash
# Every suite: Linux plain, under AddressSanitizer+UBSan and ThreadSanitizer, then the Windows builds.
set -euo pipefail
cd "$(dirname "$0")/.."
export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}
for flavour in linux asan tsan; do
  echo "== $flavour"
  scripts/build.sh "$flavour"
  dir=build; [ "$flavour" != linux ] && dir=build-$flavour
  ctest --test-dir "$dir" --output-on-failure --timeout 600
done
echo "== windows"
scripts/test-windows.sh
