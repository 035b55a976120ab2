#!/usr/bin/env bash
# Installs the Python module from the source tree with pip, offline, into a scratch directory and
# runs its tests there against the library in build/ (and, when built, compares its failures with
# the CLI's); then checks that a library placed next to the module is found without BRIVANE_LIBRARY.
set -euo pipefail
cd "$(dirname "$0")/.."
export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}
python=${PYTHON:-python3}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$python" -m pip install --quiet --no-index --disable-pip-version-check --target "$work/site" examples/python \
  >"$work/pip.log" 2>&1 || { cat "$work/pip.log" >&2; echo "FAIL: pip could not install examples/python" >&2; exit 1; }
cli=$(pwd)/build/tools/brivane/brivane
(cd examples/python/tests && PYTHONPATH=$work/site BRIVANE_LIBRARY=$(pwd)/../../../build/libbrivane.so.0 \
  BRIVANE_CLI=$([ -x "$cli" ] && echo "$cli") "$python" -B -m unittest -v test_module)
ln -s "$(pwd)/build/libbrivane.so.0" "$work/site/brivane/libbrivane.so.0"
(cd "$work" && env -u BRIVANE_LIBRARY PYTHONPATH=$work/site "$python" -B -c \
  'import brivane, os; assert brivane.find_library().startswith(os.path.dirname(brivane.__file__)); brivane.library()')
echo "ok: python module"
