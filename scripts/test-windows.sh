#!/usr/bin/env bash
# The Windows builds: both flavours built, their DLLs' export tables and imports checked, and the
# x86_64 suites run under Wine in a fresh prefix, with audio through a PulseAudio server of their own
# whose null sink and source run in real time.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

WINE=${WINE:-/usr/lib/wine/wine64}
WINESERVER=$(dirname "$WINE")/wineserver
failures=()

# The i686 DLL is checked from its export and import tables; the x86_64 build runs the suites.
echo "== win32 build"
scripts/build.sh win32 brivane
echo "== win64 build"
scripts/build.sh win64

# The 22 exports of Brivane.def, by name and nothing else, at ordinals 1..22 in the .def's order.
check_exports() {
  local dll=$1 objdump=$2
  local expected actual
  expected=$(awk '$2 ~ /^@[0-9]+$/ { print ++n, $1 }' src/api/Brivane.def)
  actual=$("$objdump" -p "$dll" | awk '
    /^Ordinal Base/ { base = $3 }
    /^Export Address Table -- / { section = "addresses"; next }
    /^\[Ordinal\/Name Pointer\] Table/ { section = "names"; next }
    /^$/ { section = "" }
    section == "addresses" && /Export RVA/ { count++ }
    section == "names" && /^\t\[/ {
      line = $0
      if (match(line, /\+base\[ *[0-9]+\]/)) {
        ordinal = substr(line, RSTART, RLENGTH); gsub(/[^0-9]/, "", ordinal)
      } else {
        match(line, /\[ *[0-9]+\]/); ordinal = substr(line, RSTART, RLENGTH); gsub(/[^0-9]/, "", ordinal)
        ordinal += base
      }
      print ordinal, $NF
    }
    END { if (count != 22) print "export address table holds " count " entries" }' | sort -n)
  if ! diff -u --label Brivane.def --label "$dll" <(echo "$expected") <(echo "$actual"); then
    echo "FAIL: $dll does not export exactly the names and ordinals of Brivane.def" >&2
    return 1
  fi
  echo "ok: $dll exports the 22 names of Brivane.def at ordinals 1..22"
}

# Only system DLLs: the GCC runtime must be linked in statically.
check_imports() {
  local dll=$1 objdump=$2
  local runtime
  runtime=$("$objdump" -p "$dll" | awk '/DLL Name:/ { print $3 }' | grep -iE 'libstdc|libgcc|libwinpthread' || true)
  if [ -n "$runtime" ]; then
    echo "FAIL: $dll needs the GCC runtime DLLs: $runtime" >&2
    return 1
  fi
  echo "ok: $dll imports only $("$objdump" -p "$dll" | awk '/DLL Name:/ { printf "%s ", $3 }')"
}

echo "== export tables and imports"
check_exports build-win32/Brivane.dll i686-w64-mingw32-objdump || failures+=("win32 exports")
check_exports build-win64/Brivane.dll x86_64-w64-mingw32-objdump || failures+=("win64 exports")
check_imports build-win32/Brivane.dll i686-w64-mingw32-objdump || failures+=("win32 imports")
check_imports build-win64/Brivane.dll x86_64-w64-mingw32-objdump || failures+=("win64 imports")

echo "== x86_64 suites under Wine"
if [ ! -x "$WINE" ]; then
  echo "FAIL: $WINE not found (scripts/deps.sh installs wine64)" >&2
  exit 1
fi
scratch=$(mktemp -d)
export WINEPREFIX=$scratch/prefix HOME=$scratch/home WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
. scripts/pulse-server.sh
cleanup() {
  "$WINESERVER" -k >/dev/null 2>&1 || true
  pulse_stop
  rm -rf "$scratch"
}
trap cleanup EXIT
mkdir -p "$HOME"
pulse_start "$scratch/pulse"
timeout 180 "$WINE" wineboot --init >/dev/null 2>&1 || echo "note: wineboot did not finish cleanly; the suites will tell" >&2
# Wine's PulseAudio driver and nothing else, so a missing server fails the suites instead of falling back.
"$WINE" reg add 'HKCU\Software\Wine\Drivers' /v Audio /d pulse /f >/dev/null 2>&1
# The media reader tests play media made here with the ffmpeg program, which Wine cannot run.
sh tests/platform/wmsdk/common/reader_media.sh "$scratch/reader-media"
export BRIVANE_TEST_MEDIA="Z:${scratch//\//\\}\\reader-media"
# So do the end-to-end suite's playback media.
sh tests/api/playback_media.sh "$scratch/playback-media"
export BRIVANE_PLAYBACK_MEDIA="Z:${scratch//\//\\}\\playback-media"

# A suite passes when it exits with 0 and its report says so: a process Wine ends abruptly can
# still exit with 0, but never writes the report.
run_suite() {
  local name=$1 exe=$2 report=$scratch/$1.xml rc=0
  echo "-- $name"
  (cd "$scratch" && timeout 600 "$WINE" "$root/$exe" --gtest_output="xml:$name.xml") || rc=$?
  if [ "$rc" -ne 0 ]; then
    echo "FAIL: $name exited with $rc" >&2
    return 1
  fi
  local summary
  summary=$(grep -m1 '<testsuites ' "$report" 2>/dev/null || true)
  if [[ "$summary" != *' failures="0"'* || "$summary" != *' errors="0"'* ]]; then
    echo "FAIL: $name wrote no passing report" >&2
    return 1
  fi
}
run_suite platform_contract_tests build-win64/tests/platform/platform_contract_tests.exe || failures+=("platform contract tests")
run_suite brivane_host_tests build-win64/brivane_host_tests.exe || failures+=("host tests")

if [ ${#failures[@]} -ne 0 ]; then
  printf 'Windows checks failed: %s\n' "${failures[@]}" >&2
  exit 1
fi
echo "== windows: all passed"
