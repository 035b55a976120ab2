#!/usr/bin/env bash
# Fails when a C or C++ file git tracks is not as .clang-format writes it; `--fix` rewrites them.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.c' '*.cpp' '*.h')
if [ "${1:-}" = --fix ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
clang-format --dry-run --Werror "${files[@]}"
echo "ok: ${#files[@]} files as .clang-format writes them"
