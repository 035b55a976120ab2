#!/usr/bin/env bash
# The platform-independent code built as 32-bit x86 Linux code (as the i686 DLL is: SSE2 float
# math) with its unit suites, run under qemu-i386, since this kernel runs no 32-bit program itself.
set -euo pipefail
cd "$(dirname "$0")/.."
[ -f build-i386/build.ninja ] || cmake -S tests/i386 -B build-i386 -G Ninja >/dev/null
cmake --build build-i386
ctest --test-dir build-i386 --output-on-failure --timeout 300
