#!/usr/bin/env bash
# Configures and builds one flavour: linux (default), asan, tsan, win32 (i686), win64 (x86_64),
# fuzz (clang, libFuzzer with AddressSanitizer+UBSan: the fuzz targets only) or coverage (clang source
# coverage, for scripts/coverage-map.py); targets named after the flavour are built alone.
set -euo pipefail
cd "$(dirname "$0")/.."
flavour=${1:-linux}
shift $(( $# > 0 ? 1 : 0 ))
targets=()
[ $# -gt 0 ] && targets=(--target "$@")
case "$flavour" in
  linux) dir=build; args=() ;;
  asan) dir=build-asan; args=(-DBRIVANE_SANITIZE=address) ;;
  tsan) dir=build-tsan; args=(-DBRIVANE_SANITIZE=thread) ;;
  win32) dir=build-win32; args=(-DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-w64-mingw32.cmake) ;;
  win64) dir=build-win64; args=(-DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64-w64-mingw32.cmake) ;;
  fuzz) dir=build-fuzz; targets=(--target fuzzers)
    args=(-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DBRIVANE_SANITIZE=fuzzer -DBRIVANE_TESTS=OFF) ;;
  coverage) dir=build-coverage; flags='-fprofile-instr-generate -fcoverage-mapping'
    args=(-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ "-DCMAKE_C_FLAGS=$flags" "-DCMAKE_CXX_FLAGS=$flags"
      -DCMAKE_EXE_LINKER_FLAGS=-fprofile-instr-generate -DCMAKE_SHARED_LINKER_FLAGS=-fprofile-instr-generate) ;;
  *) echo "unknown flavour: $flavour" >&2; exit 2 ;;
esac
[ -f "$dir/build.ninja" ] || cmake -S . -B "$dir" -G Ninja "${args[@]}" >/dev/null
cmake --build "$dir" "${targets[@]}"
